// What each tool does first, before it opens any file: the process as this program may take it
// for granted, whatever platform it runs on (the platform's own file makes it so:
// process_start_posix.cpp, _wasi.cpp, _windows.cpp).
#pragma once

namespace model_unpack {

// Opens each of descriptors 0, 1 and 2 that was closed on the null device, before anything else
// opens a file: otherwise the first file opened would become standard output, and console
// lines would land in it. Read-only, so that a write to a closed standard output still fails
// and is reported as a write error.
void open_closed_standard_streams();

// Every job takes file buffers of up to 256 KiB and gives them back when it ends; the next job
// takes the same again. Kept by the C library for reuse, they cost nothing the second time;
// mapped anew (glibc maps blocks this large, or hands them back to the system once the job has
// freed them), every page costs a fault again, job after job.
void keep_freed_memory_for_reuse();

// The console shows the tool's UTF-8 text as UTF-8 (Windows; elsewhere it does already).
void use_utf8_console();
// The console as use_utf8_console() found it (on every way out; an interrupt that ends the
// process itself calls it first).
void restore_console();

// A WASI program starts in "/" whatever folder it was started from; its launcher names that
// folder in PWD, so that relative names mean what they mean to the user. Elsewhere nothing.
void enter_starting_folder();

}  // namespace model_unpack
