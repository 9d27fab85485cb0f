#pragma once

// Asks that the pauses be as short as they are asked to be. Threads inherit
// the setting, so the main thread makes it before it starts the workers.
void shorten_pauses();

// The pause that every thread takes once in each iteration.
void pause_briefly();
