#pragma once
// How the programs ask the C library's allocator to treat memory they free.

// Keeps memory the process freed for its next use instead of handing it back to the system at
// once: a command or a paint of a large map makes and frees tens of megabytes of working lists,
// and memory handed back is mapped and zeroed again page by page on the next run. Call once, at
// the start of main.
void KeepFreedMemory() noexcept;
