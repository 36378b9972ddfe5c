#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// INI-style settings files. CIniFile keeps no state: every operation is static
// and works either on an in-memory list of records (loaded with Load, written
// back with Save) or on a file name (load, work on the list, save again for
// operations that change data).
//
// A record is one logical line: a section header (empty Key) or a key line,
// each with the comment lines that stood above it. Section and key names match
// exactly (byte by byte, case-sensitive). Comment lines start with '#' or ';'.
//
// File format read by Load, with "\n" or "\r\n" line ends:
//   # comment            kept, attached to the next header or key line
//   [Section] anything   a header; the name is the text between '[' and ']'
//   Key = Value          a key line; key and value are trimmed, the value runs
//                        from the first '=' to the end of the line
// A header without ']', a line without '=' and a line whose key is empty are
// not understood and are skipped. Save writes the platform's text line ends
// ("\n" on POSIX, "\r\n" on Windows) and an empty line before every header but
// the first.
class CIniFile {
 public:
  struct Record {
    std::string Comments;  // whole comment lines, each ending in "\n"
    std::string Section;   // header: its name; key line: its section's name
    std::string Key;       // empty for a header
    std::string Value;     // empty for a header
  };
  using RecordList = std::vector<Record>;

  CIniFile() = default;
  CIniFile(const CIniFile&) = default;
  CIniFile& operator=(const CIniFile&) = default;
  virtual ~CIniFile() = default;

  // Reads the file into vecContent (emptied first). False, with vecContent
  // unchanged, when the file cannot be opened.
  static bool Load(const std::string& strFileName, RecordList& vecContent);
  // Reads records from text in the file format, as Load reads a file.
  static void LoadText(const std::string& strText, RecordList& vecContent);
  // Writes vecContent to the file, replacing it. False when the file cannot be
  // written in full.
  static bool Save(const std::string& strFileName, const RecordList& vecContent);
  // Creates the file empty, or empties an existing one.
  static bool Create(const std::string& strFileName);

  // The text Save would write, without the empty lines before headers, the
  // records joined by "\n" and no "\n" at the end. The file form gives "" when
  // the file cannot be read.
  static std::string Content(const RecordList& vecContent);
  static std::string Content(const std::string& strFileName);

  // The value of the first record with this section and key, else szDefault
  // ("" for a null default).
  static std::string GetValue(const std::string& strKey, const std::string& strSection,
                              const RecordList& vecContent, const char* szDefault = nullptr);
  static std::string GetValue(const std::string& strKey, const std::string& strSection,
                              const std::string& strFileName, const char* szDefault = nullptr);

  // Sets the value of the first record with this section and key; a new key
  // goes after the section's last consecutive line, a new section (header and
  // key) at the end. Names or values that could not be read back as written
  // (see IsStorable) are refused: the list form then changes nothing, the file
  // form returns false.
  static void SetValue(const std::string& strKey, const std::string& strValue,
                       const std::string& strSection, RecordList& vecContent);
  static bool SetValue(const std::string& strKey, const std::string& strValue,
                       const std::string& strSection, const std::string& strFileName);

  // A copy of the first record with this section and key, or an empty list.
  static RecordList GetRecord(const std::string& strKey, const std::string& strSection,
                              const RecordList& vecContent);
  static RecordList GetRecord(const std::string& strKey, const std::string& strSection,
                              const std::string& strFileName);

  static bool RecordExists(const std::string& strKey, const std::string& strSection,
                           const RecordList& vecContent);
  static bool RecordExists(const std::string& strKey, const std::string& strSection,
                           const std::string& strFileName);

  // Whether any record, header or key line, carries this section name.
  static bool SectionExists(const std::string& strSection, const RecordList& vecContent);
  static bool SectionExists(const std::string& strSection, const std::string& strFileName);

  // The section headers, in order.
  static RecordList GetSections(const RecordList& vecContent);
  static RecordList GetSections(const std::string& strFileName);
  static std::vector<std::string> GetSectionNames(const RecordList& vecContent);
  static std::vector<std::string> GetSectionNames(const std::string& strFileName);

  // The key lines of a section, in order, without its header.
  static RecordList GetSection(const std::string& strSection, const RecordList& vecContent);
  static RecordList GetSection(const std::string& strSection, const std::string& strFileName);

  // Appends a header when no record carries the name yet.
  static void AddSection(const std::string& strSection, RecordList& vecContent);
  static bool AddSection(const std::string& strSection, const std::string& strFileName);

  // Every record of the old section gets the new name.
  static void RenameSection(const std::string& strOldSection, const std::string& strNewSection,
                            RecordList& vecContent);
  static bool RenameSection(const std::string& strOldSection, const std::string& strNewSection,
                            const std::string& strFileName);

  // Removes the header and every key line of the section.
  static void DeleteSection(const std::string& strSection, RecordList& vecContent);
  static bool DeleteSection(const std::string& strSection, const std::string& strFileName);

  // Removes the first record with this section and key; false when none.
  static bool DeleteRecord(const std::string& strKey, const std::string& strSection,
                           RecordList& vecContent);
  static bool DeleteRecord(const std::string& strKey, const std::string& strSection,
                           const std::string& strFileName);

  // Comment setters. A non-empty text gets a final "\n" when it lacks one.
  // Text with a line that is neither blank nor a comment ('#' or ';'), or
  // with a '\r', is refused (false): it would read back as keys or sections.
  // SetSectionComments sets every header of the section (the list form returns
  // true even when none matched); SetRecordComments the first record with this
  // section and key (false when none).
  static bool SetSectionComments(const std::string& strComments, const std::string& strSection,
                                 RecordList& vecContent);
  static bool SetSectionComments(const std::string& strComments, const std::string& strSection,
                                 const std::string& strFileName);
  static bool SetRecordComments(const std::string& strComments, const std::string& strKey,
                                const std::string& strSection, RecordList& vecContent);
  static bool SetRecordComments(const std::string& strComments, const std::string& strKey,
                                const std::string& strSection, const std::string& strFileName);

  // Rewrites the file with its sections sorted by name and each section's keys
  // sorted by key, both ascending or both descending. A section that has
  // several headers is written once, with all its keys. Key lines before the
  // first header are dropped. False, with the file untouched, when the file
  // cannot be read or has no header.
  static bool Sort(const std::string& strFileName, bool bDescending);

  // Whether a section name, key and value keep the file's structure when
  // written: no line breaks anywhere, no ']' in the section name, and a key
  // that has no '=' and, trimmed, is neither empty nor starts with '#', ';' or
  // '['. (Blanks at the ends of keys and values are trimmed when read back.)
  static bool IsStorable(const std::string& strSection, const std::string& strKey,
                         const std::string& strValue);
 private:
  static void ReadRecords(std::istream& in, RecordList& vecContent);
};
