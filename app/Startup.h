// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up and exit of the windows, shared by the program and the tests.

// Sets the application title and creates the five windows in their start-up states; shows the
// main window when show is true.
void CreateForms(bool show = true);
// Destroys the windows: links close without sending, timers stop.
void DestroyForms();
