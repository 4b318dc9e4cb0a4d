// Long work for the windows: a DVD job runs on a thread of its own while the window
// thread keeps turning its event loop, so the windows repaint and the progress window's
// Cancel answers at once. The job talks to the person through the port (GuiPort), whose
// calls are carried to the window thread.
#pragma once

#include <functional>

// Runs `work` on a worker thread and returns when it has finished, dispatching the
// window thread's events meanwhile. An exception thrown by `work` is thrown again here.
// Callers disable their controls around the call: the windows stay live during it.
void RunJob(const std::function<void()>& work);

// True while a job started by RunJob is running.
bool JobRunning();
