// Resource identifiers of vesk, shared by vesk.rc and the C++ sources.
// Plain #defines only: the resource compiler's preprocessor reads this file.
#ifndef VESK_RESOURCE_H
#define VESK_RESOURCE_H

#define IDI_APP                 101
#define IDR_TASKMENU            102
#define IDI_CLOSE               104

#define IDM_CLOSE_ALL           40005
#define IDM_EXIT                40007
#define IDM_MINIMIZE            40009
#define IDM_CLOSE_BACKGROUND    40010

// Task items inserted into the task menu at run time take the command ids
// 0x8000 + position, up to 0x8FFF.
#define TASK_ITEM_FIRST_ID      0x8000

#endif
