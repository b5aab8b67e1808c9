#include "framework/sysutils.h"

#include <cctype>
#include <cstdint>

bool TryStrToInt(const std::string &S, int &Value) {
    size_t i = 0, n = S.size();
    while (i < n && S[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
    int base = 10;
    if (i < n && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i < n && (S[i] == 'x' || S[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == n) return false;
    // Hexadecimal text is a bit pattern: $FFFFFFFF is -1, as the framework reads it.
    uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t v = 0;
    for (; i < n; ++i) {
        int c = (unsigned char)S[i], digit;
        if (isdigit(c))
            digit = c - '0';
        else if (base == 16 && isxdigit(c))
            digit = tolower(c) - 'a' + 10;
        else
            return false;
        v = v * base + digit;
        if (v > limit) return false;
    }
    int64_t signed_value = base == 16 ? (int64_t)(int32_t)(uint32_t)v : (int64_t)v;
    Value = (int32_t)(negative ? -signed_value : signed_value);
    return true;
}

int StrToInt(const std::string &S) {
    int value;
    if (!TryStrToInt(S, value))
        throw EConvertError("'" + S + "' n'est pas une valeur enti\xE8re correcte");
    return value;
}
