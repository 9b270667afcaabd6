#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests that need an event loop (port notifications, worker requests) use this
// application object; it lives for the whole run.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
