#include "strayreads/strayreads.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>

#include <string>

namespace {

using at::strayreads::ReadIdSet;

ReadIdSet unclassified_ids(std::string_view classification) {
    at::LineReader reader(classification);
    ReadIdSet ids;
    at::strayreads::collect_unclassified(reader, ids);
    return ids;
}

std::set<std::string> keys_of(const ReadIdSet& ids) {
    std::set<std::string> keys;
    for (const auto& id : ids) keys.emplace(id.first);
    return keys;
}

ReadIdSet make_ids(std::initializer_list<std::string_view> read_ids) {
    ReadIdSet ids;
    for (const auto read_id : read_ids) ids.insert(read_id);
    return ids;
}

std::string extract(const ReadIdSet& ids, std::string_view fasta) {
    at::LineReader reader(fasta);
    at::MemoryOutputs outputs;
    at::strayreads::write_unclassified(reader, ids, outputs);
    EXPECT_EQ(outputs.order(), std::vector<std::string>{"unclassified.fasta"});
    return outputs.text("unclassified.fasta");
}

TEST(StrayreadsIds, LinesWithoutAnOtuSelectTheirRead) {
    const auto ids = unclassified_ids(
        "r1\tk__Bacteria(100);p__Firmicutes(100);c__Bacilli(99);u__17(70);\n"
        "r2\tk__Bacteria(100);p__Firmicutes(95);unclassified;unclassified;\n"
        "r3\tk__Bacteria(88);k__Bacteria_unclassified(88);\n"
        "r4\tunknown;unknown_unclassified(0);\n"
        "r2\tk__Bacteria(100);\n"          // a repeated read is held once
        "ru__5\tk__Bacteria(100);\n"       // "u__" in the read ID hides the read too
        "r5\tk__Bacteria;p__Firmicutes\tu__9;\n"  // after a second TAB still on the line
        "r6\tk__Bacteria(90);U__1(9);\n");  // the test is case-sensitive
    EXPECT_EQ(keys_of(ids), (std::set<std::string>{"r2", "r3", "r4", "r6"}));
}

TEST(StrayreadsIds, LineWithoutTabIsAllReadIdAndLeadingTabGivesEmptyId) {
    const auto ids = unclassified_ids("lonely read k__Bacteria(100);\r\n\tk__Bacteria(80);\n\n");
    EXPECT_EQ(keys_of(ids), (std::set<std::string>{"lonely read k__Bacteria(100);\r", ""}));
}

TEST(Strayreads, WritesIdAndFirstSequenceLineOfSelectedRecords) {
    const ReadIdSet ids = make_ids({"r1", "r3"});
    EXPECT_EQ(extract(ids,
                      ">r1 1:N:0:TGGATGAT\nACGT\nGGCC\nTTAA\n"  // wrapped: first line only
                      ">r2 1:N:0:CCGCGGCT\nCCCC\n"
                      ">r3\nGGGG\n"
                      ">r4 r1\nAAAA\n"),                       // the ID ends at the first space
              ">r1\nACGT\n>r3\nGGGG\n");
}

TEST(Strayreads, TabDoesNotEndTheReadId) {
    const ReadIdSet ids = make_ids({"r1", "r2\tx"});
    EXPECT_EQ(extract(ids, ">r1\tx\nAAAA\n>r2\tx y\nCCCC\n"), ">r2\tx\nCCCC\n");
}

TEST(Strayreads, SequenceLinesBeforeTheFirstHeaderAreDropped) {
    EXPECT_EQ(extract(make_ids({"r1"}), "NNNN\nACGT\n>r1\nGGGG\n"), ">r1\nGGGG\n");
}

TEST(Strayreads, EmptyLinesBetweenHeaderAndSequenceAreSkipped) {
    EXPECT_EQ(extract(make_ids({"r1"}), ">r1 d\n\n\n\nGGGG\n\n>r2\nAAAA\n"), ">r1\nGGGG\n");
}

TEST(Strayreads, DuplicatedHeaderIsWrittenEachTime) {
    EXPECT_EQ(extract(make_ids({"r1"}), ">r1\nAAAA\n>r2\nCCCC\n>r1 again\nGGGG\n"), ">r1\nAAAA\n>r1\nGGGG\n");
}

TEST(Strayreads, UnselectedHeaderEndsThePendingRecord) {
    // r1 has no sequence line; the sequence of r2 must not appear under it.
    EXPECT_EQ(extract(make_ids({"r1", "r3"}), ">r1\n>r2\nCCCC\n>r3\nGGGG\n"), ">r1\n>r3\nGGGG\n");
    // A selected header after it takes its own sequence line.
    EXPECT_EQ(extract(make_ids({"r1", "r2"}), ">r1\n>r2\nCCCC\nTTTT\n"), ">r1\n>r2\nCCCC\n");
    // A record without sequence at the end of the file.
    EXPECT_EQ(extract(make_ids({"r1"}), "AAAA\n>r1 desc"), ">r1\n");
}

TEST(Strayreads, CarriageReturnsStayInIdsAndSequences) {
    // Without a description the CR is part of the ID and matches nothing; with
    // one it goes with the description. A written sequence line keeps its CR.
    const ReadIdSet ids = make_ids({"r1", "r2"});
    EXPECT_EQ(extract(ids, ">r1\r\nAAAA\r\n>r2 d\r\nCCCC\r\n"), ">r2\nCCCC\r\n");
    EXPECT_EQ(extract(make_ids({"r1\r"}), ">r1\r\nAAAA\r\n"), ">r1\r\nAAAA\r\n");
}

TEST(Strayreads, BareHeaderHasTheEmptyId) {
    EXPECT_EQ(extract(make_ids({"r1"}), ">\nAAAA\n> r1\nCCCC\n"), "");
    EXPECT_EQ(extract(make_ids({""}), ">\nAAAA\n> r1\nCCCC\n>r1\nGGGG\n"), ">\nAAAA\n>\nCCCC\n");
}

TEST(Strayreads, NothingSelectedStillCreatesTheFile) {
    EXPECT_EQ(extract(make_ids({}), ">r1\nAAAA\n"), "");
    EXPECT_EQ(extract(make_ids({"r1"}), ""), "");
}

}  // namespace
