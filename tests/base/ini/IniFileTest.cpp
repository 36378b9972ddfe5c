#include "base/ini/IniFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

using Records = CIniFile::RecordList;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Ok()); }

  std::string Write(const char* szName, const std::string& strBytes) const {
    WriteFile(m_dir.Join(szName), strBytes);
    return m_dir.Join(szName);
  }

  CTempDir m_dir{"tolvan-ini"};
};

// Every field of every record, so that a key's section counts too.
void ExpectRecords(const Records& actual, const Records& expected) {
  auto Fields = [](const Records& v) {
    std::string s;
    for (const auto& r : v) s += r.Comments + "|" + r.Section + "|" + r.Key + "|" + r.Value + "\n";
    return s;
  };
  EXPECT_EQ(Fields(actual), Fields(expected));
}

}  // namespace

TEST_F(IniFileTest, LoadParsesHeadersKeysAndCommentsAndSkipsTheRest) {
  // Lines may end in "\r\n" too.
  std::string strPath = Write("a.ini",
                              "top=1\n# a\n  ; b  \r\n[Config] trailing\r\n\t Port = 8888 \t\r\n"
                              "a=b=c\n\n[Broken\nno equals sign\n= value without key\n"
                              "[ Config ]\nempty=\n# dropped at the end\n");
  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  ExpectRecords(recs, {{"", "", "top", "1"}, {"# a\n; b\n", "Config", "", ""},
                       {"", "Config", "Port", "8888"}, {"", "Config", "a", "b=c"},
                       {"", " Config ", "", ""}, {"", " Config ", "empty", ""}});
  EXPECT_EQ(CIniFile::GetValue("Port", "Config", recs), "8888");
  EXPECT_EQ(CIniFile::GetValue("empty", "Config", recs, "dflt"), "dflt");  // wrong section
  EXPECT_EQ(CIniFile::GetValue("port", "Config", recs, nullptr), "");     // case matters

  // A missing file fails, leaves the list alone and is not created.
  const std::string strMissing = m_dir.Join("missing.ini");
  EXPECT_FALSE(CIniFile::Load(strMissing, recs));
  EXPECT_EQ(recs.size(), 6u);
  EXPECT_EQ(CIniFile::GetValue("k", "Ok", strMissing, "d"), "d");
  EXPECT_FALSE(CIniFile::SetValue("k", "v", "Ok", strMissing));
  EXPECT_FALSE(std::ifstream(strMissing).is_open());
}

// Keys go after the first run of their section, a new section at the end; the saved file keeps
// the comments and order and puts one empty line before every header but the first.
TEST_F(IniFileTest, SetValuePlacesKeysAndSaveKeepsCommentsAndOrder) {
  Records recs;
  ASSERT_TRUE(CIniFile::Load(
      Write("rt.ini", "# settings\n[A]\n# one\na1=1\n[B]\nb1=1\n\n\n; again\n[A]\na9=9\n"), recs));
  CIniFile::SetValue("a2", "2", "A", recs);  // after A's first run, not at the end
  CIniFile::SetValue("b1", "x", "B", recs);  // existing key: value changes in place
  CIniFile::SetValue("c1", "3", "C", recs);
  const std::string strCopy = m_dir.Join("copy.ini");
  ASSERT_TRUE(CIniFile::Save(strCopy, recs));
  std::string strText = ReadFile(strCopy);  // "\n" line ends, whatever the platform wrote
  strText.erase(std::remove(strText.begin(), strText.end(), '\r'), strText.end());
  EXPECT_EQ(strText,
            "# settings\n[A]\n# one\na1=1\na2=2\n\n[B]\nb1=x\n\n; again\n[A]\na9=9\n\n[C]\nc1=3\n");
  EXPECT_FALSE(CIniFile::Save((m_dir.Path() / "no" / "dir.ini").string(), Records()));
}

// Names, values and comments that would change the file's structure when
// written are refused, so text from elsewhere cannot add sections or keys.
TEST_F(IniFileTest, TextThatBreaksTheFormatIsRefused) {
  std::string strPath = Write("inj.ini", "[S]\nk=v\n");
  const std::string strBefore = ReadFile(strPath);
  EXPECT_FALSE(CIniFile::SetValue("k", "x\n[Evil]\nk=1", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("k", "x\r", "S", strPath));
  for (const char* szKey : {"a=b", "", " #k", "[k"}) {
    EXPECT_FALSE(CIniFile::SetValue(szKey, "v", "S", strPath)) << szKey;
  }
  EXPECT_FALSE(CIniFile::SetValue("k", "v", "S]x", strPath));
  EXPECT_FALSE(CIniFile::AddSection("a\nb", strPath));
  EXPECT_FALSE(CIniFile::RenameSection("S", "T]", strPath));
  EXPECT_FALSE(CIniFile::SetRecordComments("# x\nAuthCode=forged", "k", "S", strPath));
  EXPECT_FALSE(CIniFile::SetSectionComments("# x\rk=2", "S", strPath));
  EXPECT_EQ(ReadFile(strPath), strBefore);
  Records recs = {{"", "S", "", ""}};
  CIniFile::SetValue("k", "a\nb", "S", recs);
  ExpectRecords(recs, {{"", "S", "", ""}});

  // Values may hold '=', '[' and comment characters.
  ASSERT_TRUE(CIniFile::SetValue("k", "[a]=#;b", "S", strPath));
  EXPECT_EQ(CIniFile::GetValue("k", "S", strPath), "[a]=#;b");
}

TEST_F(IniFileTest, QueriesSectionEditsAndSort) {
  std::string strPath = Write("q.ini", "[A]\nx=1\n[B]\ny=2\n[A]\nz=3\n");
  EXPECT_TRUE(CIniFile::RecordExists("", "B", strPath));  // a header is a record
  EXPECT_FALSE(CIniFile::SectionExists("C", strPath));
  ExpectRecords(CIniFile::GetRecord("y", "B", strPath), {{"", "B", "y", "2"}});
  ExpectRecords(CIniFile::GetSection("A", strPath), {{"", "A", "x", "1"}, {"", "A", "z", "3"}});
  EXPECT_EQ(CIniFile::GetSectionNames(strPath), (std::vector<std::string>{"A", "B", "A"}));

  ASSERT_TRUE(CIniFile::AddSection("C", strPath));
  ASSERT_TRUE(CIniFile::RenameSection("B", "BB", strPath));
  EXPECT_TRUE(CIniFile::DeleteRecord("z", "A", strPath));
  ASSERT_TRUE(CIniFile::DeleteSection("A", strPath));
  ASSERT_TRUE(CIniFile::SetSectionComments("# note", "C", strPath));  // adds the line end
  ASSERT_TRUE(CIniFile::SetRecordComments("; one\n; two", "y", "BB", strPath));
  EXPECT_EQ(CIniFile::Content(strPath), "[BB]\n; one\n; two\ny=2\n# note\n[C]");

  // Sorting merges a section's headers into one and drops keys before the first header.
  strPath = Write("s.ini", "orphan=1\n# b\n[B]\nz=1\na=2\n[A]\nm=3\n[B]\nc=4\n");
  ASSERT_TRUE(CIniFile::Sort(strPath, false));
  EXPECT_EQ(CIniFile::Content(strPath), "[A]\nm=3\n# b\n[B]\na=2\nc=4\nz=1");
}
