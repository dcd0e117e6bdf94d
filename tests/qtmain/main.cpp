// Runs the test class named by the first argument, or every class; the remaining arguments go
// to Qt Test.
#include "TestMain.h"

#include <QApplication>
#include <QTest>

#include <cstring>

namespace quillory::test {

std::vector<WatchTestClass>& WatchTestClasses() {
    static std::vector<WatchTestClass> classes;
    return classes;
}

} // namespace quillory::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> rest = {argv[0]};
    for (int i = only != nullptr ? 2 : 1; i < argc; ++i)
        rest.push_back(argv[i]);
    int failed = 0;
    bool found = false;
    for (const auto& testClass : quillory::test::WatchTestClasses()) {
        if (only != nullptr && std::strcmp(only, testClass.name) != 0)
            continue;
        found = true;
        const std::unique_ptr<QObject> object = testClass.make();
        failed += QTest::qExec(object.get(), static_cast<int>(rest.size()), rest.data());
    }
    return found ? failed : 2;
}
