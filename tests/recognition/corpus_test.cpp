// Every message of the corpus (corpus.tsv: file, expected verdict, envelope sender,
// source) through the recogniser: any wrong verdict fails; recall on the
// out-of-office replies and the number of other messages marked are printed.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "out_of_office_marker.h"

namespace {

struct Entry {
    std::string file, verdict, sender, source;
};

std::vector<Entry> readTable() {
    std::ifstream table(std::string(PELLICOR_CORPUS) + "/corpus.tsv");
    std::vector<Entry> entries;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Entry& entry = entries.emplace_back();
        for (std::string* field : {&entry.file, &entry.verdict, &entry.sender, &entry.source})
            std::getline(fields, *field, '\t');
    }
    return entries;
}

std::string readMessage(const std::string& file) {
    std::ifstream in(std::string(PELLICOR_CORPUS) + "/messages/" + file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RecognitionCorpus, EveryVerdictIsRight) {
    std::vector<Entry> entries = readTable();
    ASSERT_GE(entries.size(), 150u);
    int replies = 0, recognised = 0, others = 0, wronglyMarked = 0;
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.file);
        ASSERT_TRUE(entry.verdict == "out-of-office" || entry.verdict == "deliver") << entry.verdict;
        ASSERT_FALSE(entry.source.empty()) << "every message names its source";
        std::string content = readMessage(entry.file);
        ASSERT_FALSE(content.empty()) << "missing message";
        platform::smtp::Recognition result = platform::smtp::RecogniseMessage(content, entry.sender == "<>");
        bool marked = result.kind == platform::smtp::MessageKind::OutOfOffice;
        bool expected = entry.verdict == "out-of-office";
        (expected ? replies : others) += 1;
        if (expected && marked) ++recognised;
        if (!expected && marked) ++wronglyMarked;
        EXPECT_EQ(marked, expected) << "decided by " << result.rule << ": " << result.Reason();
    }
    std::cout << "out-of-office recall: " << recognised << "/" << replies
              << "; other messages marked: " << wronglyMarked << "/" << others << "\n";
}

}  // namespace
