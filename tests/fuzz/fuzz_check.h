#pragma once

// What every harness shares: a check that stops the run with the broken invariant, so that
// libFuzzer keeps the input as a finding. Harnesses that need events or signals also link
// fuzz_application.cpp.

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                               \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "invariant broken: %s\n  at %s:%d\n  ", #condition, __FILE__, \
                         __LINE__);                                                            \
            std::fprintf(stderr, __VA_ARGS__);                                                 \
            std::fprintf(stderr, "\n");                                                        \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

#include <string>

// For messages: text(s).c_str().
inline std::string text(const QString &s) { return s.toStdString(); }
