#pragma once

// The process's memory allocator. TuneSieve's threads hand each other lists of 100 000 names (read
// on one thread, looked up on the main one, saved on a third); an allocator that keeps a heap per
// thread and holds on to freed pages would grow the process with every download. Each OS's
// backend file defines these.

// Called first thing in main(), before any thread starts.
void configureMemoryAllocator();

// Hands memory that the process has freed back to the system, after work that freed a lot of it
// (a list of 100 000 names replaced and saved), so that the next such work does not stack on pages
// the allocator kept.
void releaseFreedMemory();
