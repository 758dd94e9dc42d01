#include "speech/AdaptationStore.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::TemporaryFolder;

TEST(AdaptationStore, KeepsValuesAndIgnoresWhatMakesNoSense) {
    TemporaryFolder folder;
    const AdaptationStore store(folder / "adaptation");
    const auto name = AdaptationStore::nameFor("dictation", "en-US", "systemAudio");
    EXPECT_EQ(name, "dictation-en-US-systemAudio");
    EXPECT_FALSE(store.load(name, 3)) << "nothing kept yet";
    store.save(name, {41.5, -5.25, 0.125});
    EXPECT_EQ(store.load(name, 3), (std::vector<double>{41.5, -5.25, 0.125}));
    EXPECT_FALSE(store.load(name, 13)) << "a model with another number of values";

    for (const char* hostile : {"", "{", "[]", R"({"values": "no"})", R"({"values": [1, 2, "3"]})",
                                R"({"values": [1, 2, 1e999]})", R"({"other": [1, 2, 3]})"}) {
        folder.write("adaptation/" + name + ".json", hostile);
        EXPECT_FALSE(store.load(name, 3)) << hostile;
    }
    folder.write("adaptation/" + name + ".json",
                 R"({"values": [1, 2, 3], "padding": ")" + std::string(70'000, 'x') + "\"}");
    EXPECT_FALSE(store.load(name, 3)) << "too large to be ours";

    // Names cannot leave the folder.
    EXPECT_EQ(AdaptationStore::nameFor("dictation", "../../x", "a/b"), "dictation-______x-a_b");

    // Writing where it cannot is told in the log, not thrown; no folder keeps nothing.
    folder.write("blocked", "a file where the folder should be");
    AdaptationStore(folder / "blocked").save(name, {1, 2, 3});
    AdaptationStore nowhere{""};
    nowhere.save(name, {1, 2, 3});
    EXPECT_FALSE(nowhere.load(name, 3));
}
