// The recording run's side of the journal: what it notes once a file's stream format is set.
#pragma once
#include "framework/VFW.h"
#include "avifile/journalfile.h"

#include <string>
#include <vector>

// Starts the journal of FileName from the run's stream header, its compressor options, the
// format the file stream took (the compressor's output format) and the audio stream's format
// (empty without sound). False when it could not.
bool StartRunJournal(RecordingJournal &Journal, const std::string &FileName, PAVISTREAM FileStream,
                     const AVISTREAMINFOA &Header, const AVICOMPRESSOPTIONS &Options,
                     const std::vector<BYTE> &SoundFormat);
