#include "base/ini/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Records = CIniFile::RecordList;

// Every test works in a fresh directory of its own under the system's
// temporary directory, removed afterwards.
class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    for (int i = 0; i < 100 && m_dir.empty(); ++i) {
      fs::path dir = fs::temp_directory_path() / ("tolvan_ini_" + std::to_string(rd()));
      std::error_code ec;
      if (fs::create_directory(dir, ec)) m_dir = dir;
    }
    ASSERT_FALSE(m_dir.empty());
  }
  void TearDown() override {
    std::error_code ec;
    if (!m_dir.empty()) fs::remove_all(m_dir, ec);
  }

  std::string PathOf(const char* szName) const { return (m_dir / szName).string(); }

  std::string WriteFile(const char* szName, const std::string& strBytes) const {
    std::string strPath = PathOf(szName);
    std::ofstream out(strPath, std::ios::binary);
    out << strBytes;
    return strPath;
  }

  static std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // File text with "\n" line ends, whatever the platform wrote.
  static std::string ReadText(const std::string& strPath) {
    std::string strBytes = ReadFile(strPath);
    std::string strText;
    for (size_t i = 0; i < strBytes.size(); ++i) {
      if (strBytes[i] == '\r' && i + 1 < strBytes.size() && strBytes[i + 1] == '\n') continue;
      strText += strBytes[i];
    }
    return strText;
  }

  fs::path m_dir;
};

CIniFile::Record Rec(const char* c, const char* s, const char* k, const char* v) {
  return CIniFile::Record{c, s, k, v};
}

void ExpectRecords(const Records& actual, const Records& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << CIniFile::Content(actual);
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].Comments, expected[i].Comments) << "record " << i;
    EXPECT_EQ(actual[i].Section, expected[i].Section) << "record " << i;
    EXPECT_EQ(actual[i].Key, expected[i].Key) << "record " << i;
    EXPECT_EQ(actual[i].Value, expected[i].Value) << "record " << i;
  }
}

}  // namespace

TEST_F(IniFileTest, LoadParsesHeadersKeysAndComments) {
  std::string strPath = WriteFile("a.ini",
                                  "top=1\n"
                                  "# a\n"
                                  "  ; b  \n"
                                  "[Config] trailing\n"
                                  "\t Port = 8888 \t\n"
                                  "a=b=c\n"
                                  "\n"
                                  "[ Config ]\n"
                                  "empty=\n");
  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  ExpectRecords(recs, {Rec("", "", "top", "1"), Rec("# a\n; b\n", "Config", "", ""),
                       Rec("", "Config", "Port", "8888"), Rec("", "Config", "a", "b=c"),
                       Rec("", " Config ", "", ""), Rec("", " Config ", "empty", "")});
  EXPECT_EQ(CIniFile::GetValue("Port", "Config", recs), "8888");
  EXPECT_EQ(CIniFile::GetValue("empty", "Config", recs, "dflt"), "dflt");  // wrong section
  EXPECT_EQ(CIniFile::GetValue("port", "Config", recs, "dflt"), "dflt");   // case matters
  EXPECT_EQ(CIniFile::GetValue("port", "Config", recs, nullptr), "");
  EXPECT_EQ(CIniFile::GetValue("top", "", recs), "1");
}

TEST_F(IniFileTest, LoadSkipsLinesItCannotUnderstand) {
  std::string strPath = WriteFile("bad.ini",
                                  "# kept for the key\n"
                                  "[Broken\n"
                                  "no equals sign\n"
                                  "= value without key\n"
                                  "[Ok]\n"
                                  "k=v\n"
                                  "# dropped at the end\n");
  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  ExpectRecords(recs, {Rec("# kept for the key\n", "Ok", "", ""), Rec("", "Ok", "k", "v")});

  // A missing file fails and leaves the list alone.
  EXPECT_FALSE(CIniFile::Load(PathOf("missing.ini"), recs));
  EXPECT_EQ(recs.size(), 2u);
  EXPECT_EQ(CIniFile::GetValue("k", "Ok", PathOf("missing.ini"), "d"), "d");
  EXPECT_EQ(CIniFile::Content(PathOf("missing.ini")), "");
  EXPECT_FALSE(CIniFile::SetValue("k", "v", "Ok", PathOf("missing.ini")));
  EXPECT_FALSE(fs::exists(PathOf("missing.ini")));
}

TEST_F(IniFileTest, CrLfAndLfFilesReadTheSame) {
  const std::string strLf = "; c\n[S]\nk = v\nx=y\n";
  std::string strCrLf;
  for (char c : strLf) {
    if (c == '\n') strCrLf += '\r';
    strCrLf += c;
  }
  Records recsLf, recsCrLf;
  ASSERT_TRUE(CIniFile::Load(WriteFile("lf.ini", strLf), recsLf));
  ASSERT_TRUE(CIniFile::Load(WriteFile("crlf.ini", strCrLf), recsCrLf));
  ExpectRecords(recsCrLf, recsLf);
  ExpectRecords(recsLf, {Rec("; c\n", "S", "", ""), Rec("", "S", "k", "v"), Rec("", "S", "x", "y")});
}

TEST_F(IniFileTest, RoundTripKeepsCommentsAndOrder) {
  const std::string strOriginal =
      "# settings\n"
      "[Config]\n"
      "# port\n"
      "Port=8888\n"
      "IP=127.0.0.1\n"
      "\n"
      "\n"
      "; second\n"
      "[B]\n"
      "z=1\n"
      "a=2\n"
      "[A]\n";
  std::string strPath = WriteFile("rt.ini", strOriginal);
  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  std::string strCopy = PathOf("copy.ini");
  ASSERT_TRUE(CIniFile::Save(strCopy, recs));
  // One empty line before every header but the first, whatever the file had.
  EXPECT_EQ(ReadText(strCopy),
            "# settings\n[Config]\n# port\nPort=8888\nIP=127.0.0.1\n"
            "\n; second\n[B]\nz=1\na=2\n"
            "\n[A]\n");
  Records recsAgain;
  ASSERT_TRUE(CIniFile::Load(strCopy, recsAgain));
  ExpectRecords(recsAgain, recs);
  EXPECT_EQ(CIniFile::Content(recs),
            "# settings\n[Config]\n# port\nPort=8888\nIP=127.0.0.1\n; second\n[B]\nz=1\na=2\n[A]");
  EXPECT_EQ(CIniFile::Content(Records()), "");
}

TEST_F(IniFileTest, SaveUsesThePlatformLineEnd) {
  std::string strPath = PathOf("ends.ini");
  ASSERT_TRUE(CIniFile::Save(strPath, {Rec("# c\n", "S", "", ""), Rec("", "S", "k", "v")}));
#ifdef _WIN32
  EXPECT_EQ(ReadFile(strPath), "# c\r\n[S]\r\nk=v\r\n");
#else
  EXPECT_EQ(ReadFile(strPath), "# c\n[S]\nk=v\n");
#endif
  EXPECT_FALSE(CIniFile::Save((m_dir / "no" / "such" / "dir.ini").string(), Records()));
}

TEST_F(IniFileTest, SetValuePlacesKeysAndSections) {
  Records recs = {Rec("", "A", "", ""), Rec("", "A", "a1", "1"), Rec("", "B", "", ""),
                  Rec("", "B", "b1", "1"), Rec("", "A", "", ""), Rec("", "A", "a9", "9")};
  CIniFile::SetValue("a2", "2", "A", recs);   // after A's first run, not at the end
  CIniFile::SetValue("b1", "x", "B", recs);   // existing key: value changes in place
  CIniFile::SetValue("c1", "3", "C", recs);   // new section at the end
  ExpectRecords(recs, {Rec("", "A", "", ""), Rec("", "A", "a1", "1"), Rec("", "A", "a2", "2"),
                       Rec("", "B", "", ""), Rec("", "B", "b1", "x"), Rec("", "A", "", ""),
                       Rec("", "A", "a9", "9"), Rec("", "C", "", ""), Rec("", "C", "c1", "3")});

  std::string strPath = PathOf("set.ini");
  ASSERT_TRUE(CIniFile::Create(strPath));
  ASSERT_TRUE(CIniFile::SetValue("Port", "8888", "Config", strPath));
  ASSERT_TRUE(CIniFile::SetValue("New", "v", "Other", strPath));
  ASSERT_TRUE(CIniFile::SetValue("IP", "::1", "Config", strPath));
  EXPECT_EQ(ReadText(strPath), "[Config]\nPort=8888\nIP=::1\n\n[Other]\nNew=v\n");
  EXPECT_EQ(CIniFile::GetValue("IP", "Config", strPath), "::1");
}

// Names and values that would change the file's structure when written are
// refused, so text from elsewhere cannot add sections or keys.
TEST_F(IniFileTest, SetValueRefusesTextThatBreaksTheFormat) {
  std::string strPath = WriteFile("inj.ini", "[S]\nk=v\n");
  const std::string strBefore = ReadFile(strPath);
  EXPECT_FALSE(CIniFile::SetValue("k", "x\n[Evil]\nk=1", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("k", "x\r", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("a=b", "v", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("", "v", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue(" #k", "v", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("[k", "v", "S", strPath));
  EXPECT_FALSE(CIniFile::SetValue("k", "v", "S]x", strPath));
  EXPECT_FALSE(CIniFile::AddSection("a\nb", strPath));
  EXPECT_FALSE(CIniFile::RenameSection("S", "T]", strPath));
  EXPECT_EQ(ReadFile(strPath), strBefore);

  Records recs = {Rec("", "S", "", "")};
  CIniFile::SetValue("k", "a\nb", "S", recs);
  CIniFile::AddSection("x]", recs);
  CIniFile::RenameSection("S", "\n", recs);
  ExpectRecords(recs, {Rec("", "S", "", "")});

  // Values may hold '=', '[' and comment characters.
  ASSERT_TRUE(CIniFile::SetValue("k", "[a]=#;b", "S", strPath));
  EXPECT_EQ(CIniFile::GetValue("k", "S", strPath), "[a]=#;b");
}

TEST_F(IniFileTest, QueriesOnListAndFile) {
  std::string strPath = WriteFile("q.ini", "[A]\nx=1\ny=2\n[B]\n[A]\nz=3\n");
  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));

  EXPECT_TRUE(CIniFile::RecordExists("z", "A", recs));
  EXPECT_FALSE(CIniFile::RecordExists("z", "B", strPath));
  EXPECT_TRUE(CIniFile::RecordExists("", "B", strPath));  // a header is a record
  EXPECT_TRUE(CIniFile::SectionExists("B", strPath));
  EXPECT_FALSE(CIniFile::SectionExists("C", recs));

  ExpectRecords(CIniFile::GetRecord("y", "A", strPath), {Rec("", "A", "y", "2")});
  EXPECT_TRUE(CIniFile::GetRecord("y", "B", recs).empty());
  ExpectRecords(CIniFile::GetSection("A", strPath),
                {Rec("", "A", "x", "1"), Rec("", "A", "y", "2"), Rec("", "A", "z", "3")});
  EXPECT_TRUE(CIniFile::GetSection("B", recs).empty());
  ExpectRecords(CIniFile::GetSections(strPath),
                {Rec("", "A", "", ""), Rec("", "B", "", ""), Rec("", "A", "", "")});
  EXPECT_EQ(CIniFile::GetSectionNames(recs), (std::vector<std::string>{"A", "B", "A"}));
  EXPECT_TRUE(CIniFile::GetSectionNames(PathOf("missing.ini")).empty());
}

TEST_F(IniFileTest, SectionEditsOnFile) {
  std::string strPath = WriteFile("e.ini", "[A]\nx=1\n[B]\ny=2\n");
  ASSERT_TRUE(CIniFile::AddSection("C", strPath));
  ASSERT_TRUE(CIniFile::AddSection("A", strPath));  // exists: nothing added
  ASSERT_TRUE(CIniFile::RenameSection("B", "BB", strPath));
  EXPECT_EQ(CIniFile::Content(strPath), "[A]\nx=1\n[BB]\ny=2\n[C]");
  ASSERT_TRUE(CIniFile::DeleteSection("A", strPath));
  EXPECT_EQ(CIniFile::Content(strPath), "[BB]\ny=2\n[C]");

  EXPECT_TRUE(CIniFile::DeleteRecord("y", "BB", strPath));
  const std::string strBefore = ReadFile(strPath);
  EXPECT_FALSE(CIniFile::DeleteRecord("y", "BB", strPath));
  EXPECT_EQ(ReadFile(strPath), strBefore);
  EXPECT_EQ(CIniFile::Content(strPath), "[BB]\n[C]");
}

TEST_F(IniFileTest, CommentSettersAddOneLineEnd) {
  std::string strPath = WriteFile("c.ini", "[S]\nk=v\n[T]\n[S]\n");
  ASSERT_TRUE(CIniFile::SetSectionComments("# note", "S", strPath));
  ASSERT_TRUE(CIniFile::SetRecordComments("; one\n; two\n", "k", "S", strPath));
  EXPECT_FALSE(CIniFile::SetRecordComments("# x", "nokey", "S", strPath));
  EXPECT_EQ(ReadText(strPath), "# note\n[S]\n; one\n; two\nk=v\n\n[T]\n\n# note\n[S]\n");

  Records recs;
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  EXPECT_TRUE(CIniFile::SetSectionComments("", "S", recs));
  EXPECT_TRUE(CIniFile::SetSectionComments("# x", "Nowhere", recs));
  EXPECT_EQ(recs[0].Comments, "");
  EXPECT_EQ(recs[1].Comments, "; one\n; two\n");
}

TEST_F(IniFileTest, SortOrdersSectionsAndKeys) {
  std::string strPath = WriteFile("s.ini",
                                  "orphan=1\n"
                                  "# b\n[B]\nz=1\na=2\n"
                                  "[A]\nm=3\n"
                                  "[B]\nc=4\n");
  ASSERT_TRUE(CIniFile::Sort(strPath, false));
  // B's two headers become one, with all of B's keys once.
  EXPECT_EQ(CIniFile::Content(strPath), "[A]\nm=3\n# b\n[B]\na=2\nc=4\nz=1");
  ASSERT_TRUE(CIniFile::Sort(strPath, true));
  EXPECT_EQ(CIniFile::Content(strPath), "# b\n[B]\nz=1\nc=4\na=2\n[A]\nm=3");

  std::string strNoHeaders = WriteFile("nh.ini", "b=1\na=2\n");
  EXPECT_FALSE(CIniFile::Sort(strNoHeaders, false));
  EXPECT_EQ(ReadFile(strNoHeaders), "b=1\na=2\n");
  EXPECT_FALSE(CIniFile::Sort(PathOf("missing.ini"), false));
}

TEST_F(IniFileTest, CreateEmptiesAnExistingFile) {
  std::string strPath = WriteFile("x.ini", "[S]\nk=v\n");
  ASSERT_TRUE(CIniFile::Create(strPath));
  EXPECT_EQ(ReadFile(strPath), "");
  Records recs = {Rec("", "old", "", "")};
  ASSERT_TRUE(CIniFile::Load(strPath, recs));
  EXPECT_TRUE(recs.empty());
}

static_assert(std::is_copy_constructible<CIniFile>::value &&
                  std::is_copy_assignable<CIniFile>::value &&
                  std::has_virtual_destructor<CIniFile>::value,
              "CIniFile is a copyable, polymorphic class");
