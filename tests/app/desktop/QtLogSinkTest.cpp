#include "app/desktop/QtLogSink.h"

#include "core/Log.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace ambrel;

namespace {
std::vector<std::pair<std::string, QtMsgType>> qtMessages;
} // namespace

TEST(QtLogSinkTest, TheLogGoesToTheAppsCategories) {
    QtLogSink::install();
    const auto previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString&) {
            qtMessages.emplace_back(context.category, type);
        });
    core::Log::audio().debug("routine detail");
    core::Log::audio().notice("Recording microphone");
    core::Log::transcript().error("Could not save");
    qInstallMessageHandler(previous);
    core::Log::setSink({});
    EXPECT_EQ(qtMessages, (std::vector<std::pair<std::string, QtMsgType>>{
                              {"org.ambrel.Ambrel.audio", QtInfoMsg},
                              {"org.ambrel.Ambrel.transcript", QtWarningMsg}}));
}
