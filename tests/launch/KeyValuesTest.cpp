#include "launch/KeyValues.h"

#include <gtest/gtest.h>
#include <string>

using namespace vantry::launch::vdf;

TEST(KeyValues, CommentsEscapesBareWordsAndKeyCaseAreReadAsSteamWritesThem)
{
    const Document doc = parse("\xEF\xBB\xBF// written by Steam\n"
                               "\"LibraryFolders\" // old root spelling\n"
                               "{\n"
                               "\t\"1\"\t\t\"D:\\\\Games\\\\Steam Library\"\n"
                               "\tmounted 1\n"
                               "\t\"quote\" \"say \\\"hi\\\"\\tnow\\q\"\n"
                               "\t\"empty\" {}\n"
                               "}\n");
    ASSERT_EQ(doc.error, Error::None);
    const Node* root = find(doc.pairs, "libraryfolders");
    ASSERT_TRUE(root);
    ASSERT_TRUE(root->isBlock);
    ASSERT_EQ(root->children.size(), 4u);
    EXPECT_EQ(find(root->children, "1")->value, "D:\\Games\\Steam Library");
    EXPECT_EQ(find(root->children, "MOUNTED")->value, "1");
    EXPECT_EQ(find(root->children, "quote")->value, "say \"hi\"\tnow\\q");
    EXPECT_TRUE(find(root->children, "empty")->isBlock);
    EXPECT_TRUE(find(root->children, "empty")->children.empty());
    EXPECT_EQ(find(root->children, "absent"), nullptr);
}

TEST(KeyValues, BrokenTextsAreRefusedWithTheLineOfTheFault)
{
    const std::pair<const char*, std::pair<Error, int>> cases[] = {
        {"\"a\"\n{\n\"b\" \"open", {Error::UnclosedQuote, 3}},
        {"\"a\"\n{\n\"b\" \"c\"\n", {Error::UnclosedBlock, 4}},
        {"\"a\" \"b\"\n}\n", {Error::UnexpectedBrace, 2}},
        {"{ \"a\" \"b\" }", {Error::UnexpectedBrace, 1}},
        {"\"a\" { \"b\" }", {Error::MissingValue, 1}},
        {"\"a\"", {Error::MissingValue, 1}},
        {"\"a\" {\n\"b\" \"c\"\n\"d\"\n\"e\n", {Error::UnclosedQuote, 5}},
    };
    for (const auto& [text, expected] : cases) {
        const Document doc = parse(text);
        EXPECT_EQ(doc.error, expected.first) << text;
        EXPECT_EQ(doc.line, expected.second) << text;
        EXPECT_TRUE(doc.pairs.empty()) << text;
    }
    EXPECT_EQ(parse("").error, Error::None);
    EXPECT_EQ(parse("  // only a comment").error, Error::None);
}

TEST(KeyValues, HostileSizesAreRefusedInsteadOfExhaustingStackOrMemory)
{
    std::string deep;
    for (int i = 0; i < MaxDepth; ++i)
        deep += "k {";
    deep += std::string(static_cast<std::size_t>(MaxDepth), '}');
    EXPECT_EQ(parse(deep).error, Error::None);
    const std::string deeper = "k {" + deep + "}";
    EXPECT_EQ(parse(deeper).error, Error::TooDeep);
    // Far deeper than a thread's stack would survive without the limit.
    std::string abyss;
    for (int i = 0; i < 200000; ++i)
        abyss += "k{";
    EXPECT_EQ(parse(abyss).error, Error::TooDeep);

    std::string many;
    for (std::size_t i = 0; i <= MaxPairs; ++i)
        many += "a b\n";
    EXPECT_EQ(parse(many).error, Error::TooManyPairs);
    EXPECT_EQ(parse(std::string(MaxInput + 1, ' ')).error, Error::TooLarge);
}
