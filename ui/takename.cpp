#include "ui/takename.h"

#include <cstdio>

std::string InsertBeforeExtension(const std::string &Name, const std::string &Text) {
    size_t base = Name.find_last_of("\\/");
    base = base == std::string::npos ? 0 : base + 1;
    size_t dot = Name.rfind('.');
    if (dot == std::string::npos || dot < base) dot = Name.size();
    return Name.substr(0, dot) + Text + Name.substr(dot);
}

TakeNames NameTake(const std::string &Avi, const std::string &Wave, bool WithSound,
                   const SYSTEMTIME &Start,
                   const std::function<bool(const std::string &)> &Exists) {
    auto taken = [&](const TakeNames &Names) {
        return Exists(Names.Avi) || (WithSound && Exists(Names.Wave));
    };
    TakeNames names = {Avi, Wave};
    if (!taken(names)) return names;
    char stamp[40];
    snprintf(stamp, sizeof(stamp), " %04u-%02u-%02u %02u-%02u-%02u", (unsigned)Start.wYear,
             (unsigned)Start.wMonth, (unsigned)Start.wDay, (unsigned)Start.wHour,
             (unsigned)Start.wMinute, (unsigned)Start.wSecond);
    std::string suffix = stamp;
    for (int count = 2;; ++count) {
        names = {InsertBeforeExtension(Avi, suffix), InsertBeforeExtension(Wave, suffix)};
        if (!taken(names)) return names;
        suffix = std::string(stamp) + "_" + std::to_string(count);
    }
}

TakeNames NameTakeNow(const std::string &Avi, const std::string &Wave, bool WithSound) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return NameTake(Avi, Wave, WithSound, now, [](const std::string &Name) {
        return GetFileAttributesA(Name.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}
