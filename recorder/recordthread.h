// What the recording run needs to know about the worker carrying it, and the wait that keeps
// a worker from outliving its recorder.
#pragma once
#include "recorder/scrcam.h"

// The recording thread the caller runs on; null on any other thread (the main thread, or a
// test calling a run directly).
TRecordAVIThread *CurrentRecordThread();

// True in a run that repeats a failed one after the user chose the default compressor.
bool IsRepeatedRun();

// Workers of this recorder that have not yet been through ThreadDone.
int LiveRecordThreads(const TScreenCam *Recorder);

// Stops the recording and waits, running the main thread's queued calls meanwhile (a worker
// may be waiting in Synchronize), until every worker of this recorder has ended. Main thread
// only; the recorder's destructor calls it before anything is freed.
void StopRecordingAndWait(TScreenCam *Recorder);
