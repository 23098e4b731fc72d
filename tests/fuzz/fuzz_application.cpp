// One Qt application for the whole run, made at libFuzzer's initialisation, for the harnesses
// whose code under test needs the event loop or signals.
#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Status and setup lines of the code under test are not wanted at this rate.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    return 0;
}
