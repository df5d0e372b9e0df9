// vesk's compiled resources (vesk.rc as the resource compiler wrote it, in
// the 32-bit .res format), linked into the program for the simulator to load.
#ifndef VESK_RES_H
#define VESK_RES_H

extern "C" const unsigned char g_veskResources[];
extern "C" const unsigned long g_veskResourcesSize;

#endif
