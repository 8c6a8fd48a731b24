#pragma once
// Shared by the files that define AppModel's members.

#include <QThread>

// Every field of the model is the GUI thread's; a call from elsewhere is a bug in the caller.
#define VELTROP_ASSERT_MODEL_THREAD() Q_ASSERT(QThread::currentThread() == thread())
