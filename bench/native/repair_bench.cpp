// The start-up repair of a killed recording against one plain pass over its bytes: files of
// 2,000, 8,000 and 36,000 small frames (an hour at 100 ms is 36,000) as the platform's writer
// leaves them, the journal 1 and 100 frames ahead of the file. Prints the reads the repair made
// per chunk of the file, the median time of the plan and the repair in place, and the ratio to
// a pass that sums every byte of the same file once (the least any check of the frames costs).
#include "avifile/avirepair.h"
#include "avifile/journal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Memory : RepairFile {
    std::vector<uint8_t> B;
    size_t Reads = 0;
    uint64_t Size() const override { return B.size(); }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        ++Reads;
        if (Offset > B.size() || Count > B.size() - Offset) return false;
        std::memcpy(Buffer, B.data() + Offset, Count);
        return true;
    }
    bool Write(uint64_t Offset, const void *Data, size_t Count) override {
        if (Offset + Count > B.size()) B.resize(Offset + Count);
        std::memcpy(B.data() + Offset, Data, Count);
        return true;
    }
    bool Truncate(uint64_t Size) override {
        B.resize(Size);
        return true;
    }
    bool Flush() override { return true; }
};

void Put(std::vector<uint8_t> &b, const char *id, uint32_t size) {
    b.insert(b.end(), id, id + 4);
    for (int i = 0; i < 4; ++i)
        b.push_back((uint8_t)(size >> (8 * i)));
}

double MedianMs(int Runs, const std::function<void()> &Fn) {
    std::vector<double> t;
    for (int i = 0; i < Runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        Fn();
        t.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main() {
    JournalStream stream;
    stream.Rate = 10;
    stream.Format.assign(40, 0);
    stream.Format[0] = 40;
    for (int frames : {2000, 8000, 36000}) {
        std::vector<uint8_t> file(2048, 0);
        std::vector<uint8_t> journal = EncodeJournalHeader(stream);
        for (int i = 0; i < frames + 100; ++i) {
            std::vector<uint8_t> data(40 + i % 13, (uint8_t)i);
            JournalFrame f{i, (uint32_t)data.size(),
                           JournalSizeKnown | JournalSumKnown | (i % 15 ? 0 : JournalKeyFrame),
                           JournalSum(data.data(), data.size())};
            if (i < frames) {
                Put(file, "00dc", (uint32_t)data.size());
                file.insert(file.end(), data.begin(), data.end());
                if (data.size() & 1) file.push_back(0);
            }
            std::vector<uint8_t> batch = EncodeJournalBatch(&f, 1);
            journal.insert(journal.end(), batch.begin(), batch.end());
            if (i + 1 == frames + 1 || i + 1 == frames + 100) {
                int ahead = i + 1 - frames;
                JournalContents j = ReadJournal(journal.data(), journal.size());
                Memory probe;
                probe.B = file;
                RepairPlan plan = PlanRepair(probe, j);
                bool whole = plan.Frames.size() == (size_t)frames;
                double repair = MedianMs(5, [&] {
                    Memory m;
                    m.B = file;
                    RepairPlan p = PlanRepair(m, j);
                    RepairInPlace(p, j.Stream, m);
                });
                volatile uint32_t sink = 0;
                double pass = MedianMs(5, [&] {
                    std::vector<uint8_t> copy = file;
                    sink = JournalSum(copy.data(), copy.size());
                });
                std::printf("%d frames, journal %d ahead: %s, %.2f reads per chunk, repair %.2f "
                            "ms, one pass %.2f ms, ratio %.2f\n",
                            frames, ahead, whole ? "every frame kept" : "FRAMES MISSING",
                            (double)probe.Reads / frames, repair, pass, repair / pass);
            }
        }
    }
    return 0;
}
