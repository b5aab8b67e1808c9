// The run's journal start: the file stream's format read back, as the AVI will hold it, and the
// sound's format as the run gave it to the file.
#include "avifile/runjournal.h"

#include <vector>

bool StartRunJournal(RecordingJournal &Journal, const std::string &FileName, PAVISTREAM FileStream,
                     const AVISTREAMINFOA &Header, const AVICOMPRESSOPTIONS &Options,
                     const std::vector<BYTE> &SoundFormat) {
    LONG size = 0;
    if (AVIStreamReadFormat(FileStream, 0, nullptr, &size) != AVIERR_OK || size <= 0) return false;
    JournalStream s;
    s.Format.resize((size_t)size);
    if (AVIStreamReadFormat(FileStream, 0, s.Format.data(), &size) != AVIERR_OK) return false;
    s.Format.resize((size_t)size);
    s.Handler = Options.fccHandler;
    s.Scale = Header.dwScale;
    s.Rate = Header.dwRate;
    s.SuggestedBufferSize = Header.dwSuggestedBufferSize;
    s.Quality = Options.dwQuality;
    s.Frame[0] = (int16_t)Header.rcFrame.left;
    s.Frame[1] = (int16_t)Header.rcFrame.top;
    s.Frame[2] = (int16_t)Header.rcFrame.right;
    s.Frame[3] = (int16_t)Header.rcFrame.bottom;
    s.OptionsHandler = Options.fccHandler;
    s.KeyFrameEvery = Options.dwKeyFrameEvery;
    s.OptionsQuality = Options.dwQuality;
    s.OptionsFlags = Options.dwFlags;
    s.SoundFormat.assign(SoundFormat.begin(), SoundFormat.end());
    return Journal.Open(FileName, s);
}
