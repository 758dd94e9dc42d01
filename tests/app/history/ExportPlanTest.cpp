#include "app/history/ExportPlan.h"

#include "IsolatedHome.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>

using namespace ambrel;
using core::ExportFormat;
namespace fs = std::filesystem;

namespace {

constexpr const char* id = "2025-03-14 09-05-00";

class ExportPlanTest : public ::testing::Test {
protected:
    ExportPlanTest() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        fs::create_directories(transcripts);
        fs::create_directories(elsewhere);
    }

    // The dialog as a script: each question is kept, each answer taken in turn.
    ExportPlan::Dialog scripted(std::deque<std::optional<ExportChoice>> answers) {
        return [this, answers = std::move(answers)](const ExportQuestion& question) mutable {
            asked.push_back(question);
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }

    ambrel::testing::IsolatedHome home;
    fs::path documents = home.path() / "Documents";
    fs::path transcripts = documents / "Ambrel";
    fs::path elsewhere = home.path() / "exports";
    AppSettings settings{std::make_shared<core::MemorySettingsStore>()};
    std::vector<ExportQuestion> asked;
};

} // namespace

TEST_F(ExportPlanTest, TheDialogOpensBesideTheTranscriptsUntilAnExportWentElsewhere) {
    EXPECT_EQ(ExportPlan::fileType(ExportFormat::srt), "SubRip Subtitles (*.srt)");
    EXPECT_EQ(ExportPlan::fileType(ExportFormat::webVtt), "WebVTT Subtitles (*.vtt)");
    EXPECT_EQ(ExportPlan::fileType(ExportFormat::plainText), "Plain Text (*.txt)");
    EXPECT_EQ(ExportPlan::fileType(ExportFormat::markdown), "Markdown (*.md)");
    EXPECT_EQ(ExportPlan::fileType(ExportFormat::json), "JSON (*.json)");

    const ExportQuestion first{documents, std::string(id) + ".srt", ExportFormat::srt};
    EXPECT_EQ(ExportPlan::question(id, transcripts, settings), first);
    EXPECT_EQ(ExportPlan::question(id, transcripts / "", settings), first) << "trailing slash";
    EXPECT_EQ(ExportPlan::question(id, transcripts / "sub" / "..", settings), first);

    // The remembered folder and format, as long as the folder is one; a stored value may be
    // anything.
    settings.setText(AppSettings::Keys::exportFolder, elsewhere.string());
    settings.setText(AppSettings::Keys::exportFormat, "VTT");
    EXPECT_EQ(ExportPlan::question(id, transcripts, settings),
              (ExportQuestion{elsewhere, std::string(id) + ".vtt", ExportFormat::webVtt}));
    settings.setText(AppSettings::Keys::exportFormat, "docx");
    for (const auto& stored : {std::string("exports"), (home.path() / "gone").string(),
                               (home.path() / "file").string(), std::string()}) {
        std::ofstream(home.path() / "file") << "not a folder";
        settings.setText(AppSettings::Keys::exportFolder, stored);
        EXPECT_EQ(ExportPlan::question(id, transcripts, settings), first) << stored;
    }
}

TEST_F(ExportPlanTest, AnAnswerMeansItsExtensionsFormatElseTheTypesAndAsksBeforeReplacing) {
    const ExportQuestion asked{elsewhere, std::string(id) + ".srt", ExportFormat::srt};
    const auto resolved = [&](const fs::path& file, ExportFormat type) {
        return ExportPlan::resolve({file, type}, asked);
    };
    using Resolved = std::variant<ExportChoice, ExportQuestion>;
    // A typed extension wins over the file type, in any case; an unknown one is kept.
    EXPECT_EQ(resolved(elsewhere / "notes.txt", ExportFormat::srt),
              Resolved(ExportChoice{elsewhere / "notes.txt", ExportFormat::plainText}));
    EXPECT_EQ(resolved(elsewhere / "Notes.VTT", ExportFormat::json),
              Resolved(ExportChoice{elsewhere / "Notes.VTT", ExportFormat::webVtt}));
    EXPECT_EQ(resolved(elsewhere / "call.2025.final", ExportFormat::markdown),
              Resolved(ExportChoice{elsewhere / "call.2025.final", ExportFormat::markdown}));
    // No extension: the type's; a relative name is in the folder asked about.
    EXPECT_EQ(resolved(elsewhere / "notes", ExportFormat::markdown),
              Resolved(ExportChoice{elsewhere / "notes.md", ExportFormat::markdown}));
    EXPECT_EQ(resolved("sub/notes.", ExportFormat::json),
              Resolved(ExportChoice{elsewhere / "sub/notes.json", ExportFormat::json}));
    // A folder is no answer: asked again as before.
    EXPECT_EQ(resolved(elsewhere / "", ExportFormat::json), Resolved(asked));

    // The added extension names a file the dialog did not ask about replacing: it asks now.
    std::ofstream(elsewhere / "notes.md") << "kept";
    EXPECT_EQ(resolved(elsewhere / "notes", ExportFormat::markdown),
              Resolved(ExportQuestion{elsewhere, "notes.md", ExportFormat::markdown}));
    fs::create_symlink(elsewhere / "nowhere", elsewhere / "link.txt");
    EXPECT_EQ(resolved(elsewhere / "link", ExportFormat::plainText),
              Resolved(ExportQuestion{elsewhere, "link.txt", ExportFormat::plainText}))
        << "a dangling link is a name taken too";
}

TEST_F(ExportPlanTest, ChoosingAsksUntilAFileIsSureAndRemembersWhereItWent) {
    std::ofstream(elsewhere / "notes.md") << "kept";
    // Cancelled: nothing chosen, nothing remembered.
    EXPECT_FALSE(ExportPlan::choose(id, transcripts, settings, scripted({std::nullopt})));
    EXPECT_FALSE(settings.text(AppSettings::Keys::exportFolder));

    // "notes" as Markdown names a file that is there: the dialog asks about it, and is
    // cancelled the second time.
    EXPECT_FALSE(ExportPlan::choose(
        id, transcripts, settings,
        scripted({ExportChoice{elsewhere / "notes", ExportFormat::markdown}, std::nullopt})));
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2], (ExportQuestion{elsewhere, "notes.md", ExportFormat::markdown}));
    EXPECT_FALSE(settings.text(AppSettings::Keys::exportFolder));

    // Agreed the second time.
    const auto chosen = ExportPlan::choose(
        id, transcripts, settings,
        scripted({ExportChoice{elsewhere / "notes", ExportFormat::markdown},
                  ExportChoice{elsewhere / "notes.md", ExportFormat::markdown}}));
    EXPECT_EQ(chosen, (ExportChoice{elsewhere / "notes.md", ExportFormat::markdown}));
    EXPECT_EQ(ExportPlan::question(id, transcripts, settings),
              (ExportQuestion{elsewhere, std::string(id) + ".md", ExportFormat::markdown}));
}
