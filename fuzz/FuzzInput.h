// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the harnesses share: a fuzzer input cut into the reads of one connection, and a check
// that stops the run like a crash, so that libFuzzer keeps the input that broke it.
#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

// Ends one read in a fuzzer input. No device or phone sends it, and every other byte reaches
// the parsers.
inline constexpr char kReadEnd = '\x1f';

// Calls read(chunk) for each read in order: the bytes up to each kReadEnd, cut into pieces of at
// most maxRead bytes; an empty read stands for a step on a closed link (nullopt). Stops early when
// read returns false.
template <class Read>
void ForEachRead(const uint8_t* data, size_t size, qsizetype maxRead, Read&& read) {
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qsizetype start = 0;
    while (start <= input.size()) {
        qsizetype end = input.indexOf(kReadEnd, start);
        if (end < 0) end = input.size();
        if (end == start) {
            if (!read(std::optional<QByteArray>())) return;
        }
        for (qsizetype at = start; at < end; at += maxRead) {
            // A deep copy: the parsers keep what they buffer after this input is gone.
            const QByteArray chunk(input.constData() + at, std::min(maxRead, end - at));
            if (!read(std::optional<QByteArray>(chunk))) return;
        }
        start = end + 1;
    }
}

inline void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}
