#pragma once
// Registers a Qt Test class with the Qt tests' main, which runs one class or all of them.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace quillory::test {

struct WatchTestClass {
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};

std::vector<WatchTestClass>& WatchTestClasses();

struct WatchTestRegistration {
    WatchTestRegistration(const char* name, std::function<std::unique_ptr<QObject>()> make) {
        WatchTestClasses().push_back({name, std::move(make)});
    }
};

} // namespace quillory::test

#define QUILLORY_WATCH_TEST(Class)                                                                 \
    static const quillory::test::WatchTestRegistration Class##Registration(                        \
        #Class, [] { return std::make_unique<Class>(); })
