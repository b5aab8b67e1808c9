// The recording run's side of the journal: what it notes once a file's stream format is set.
#pragma once
#include "recorder/VFW.h"
#include "avifile/journalfile.h"

#include <string>

// Starts the journal of FileName from the run's stream header, its compressor options and the
// format the file stream took (the compressor's output format). False when it could not.
bool StartRunJournal(RecordingJournal &Journal, const std::string &FileName, PAVISTREAM FileStream,
                     const AVISTREAMINFOA &Header, const AVICOMPRESSOPTIONS &Options);
