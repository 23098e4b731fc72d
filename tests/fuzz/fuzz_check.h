#pragma once

// What every harness shares: a Qt application for the event loop and signals, and a check that
// stops the run with the broken invariant, so that libFuzzer keeps the input as a finding.

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

// One application for the whole run; harnesses that need events create it at initialisation.
inline void makeFuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Status and setup lines of the code under test are not wanted at this rate.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
}

#include <string>

// For messages: text(s).c_str().
inline std::string text(const QString &s) { return s.toStdString(); }
