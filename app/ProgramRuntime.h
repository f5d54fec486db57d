#pragma once
// What every run of the program that records needs before its first window: COM on the window
// thread, the media graph's classes, the AVI writer, the compressors and the sound devices made
// known, and the capture filter of the program folder registered.

// False (after showing "Failed to initialize OLE") when COM cannot be started on this thread.
bool StartProgramRuntime();
