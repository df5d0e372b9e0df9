// The C runtime that coredll exports beyond the window API, as a program
// loaded from a Windows CE executable calls it. The names are the device's
// (the export table maps them); the functions live here, apart from the
// host's own C library, whose malloc or sprintf they must not replace.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace sim::crt {

void* Malloc(size_t n);
void* Realloc(void* block, size_t n);
void Free(void* block);
int Sprintf(char* out, const char* format, ...);
int WSprintfW(WCHAR* out, const WCHAR* format, ...);
size_t Mbstowcs(WCHAR* out, const char* in, size_t n);
void Fpreset();

// The standard streams: what a program writes to them goes to the event
// log, a line at a time ("stdout TEXT", "stderr TEXT").
struct Stream;
Stream* GetStdFile(int which);
size_t Fwrite(const void* data, size_t size, size_t count, Stream* stream);
int Fputs(const char* text, Stream* stream);
int Fputc(int c, Stream* stream);
int Fflush(Stream* stream);
int Fcloseall();

}  // namespace sim::crt
