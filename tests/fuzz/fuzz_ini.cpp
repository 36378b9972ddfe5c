// The INI reader on arbitrary text: whatever it reads must write out and read
// back as the same records, and lookups must agree with the records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ini/IniFile.h"

namespace {

void Check(bool bCondition) {
  if (!bCondition) __builtin_trap();
}

bool SameRecords(const CIniFile::RecordList& a, const CIniFile::RecordList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].Section != b[i].Section || a[i].Key != b[i].Key || a[i].Value != b[i].Value ||
        a[i].Comments != b[i].Comments) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string strText(reinterpret_cast<const char*>(pData), nSize);
  CIniFile::RecordList vecRecords;
  CIniFile::LoadText(strText, vecRecords);

  for (const CIniFile::Record& record : vecRecords) {
    // A key line's value is what GetValue gives for the first such key.
    if (!record.Key.empty()) {
      const CIniFile::RecordList vecFound = CIniFile::GetRecord(record.Key, record.Section, vecRecords);
      Check(!vecFound.empty());
      Check(CIniFile::GetValue(record.Key, record.Section, vecRecords, "\x01") == vecFound[0].Value);
      Check(CIniFile::RecordExists(record.Key, record.Section, vecRecords));
    } else {
      Check(CIniFile::SectionExists(record.Section, vecRecords));
    }
  }

  // What was read writes out and reads back unchanged.
  CIniFile::RecordList vecAgain;
  CIniFile::LoadText(CIniFile::Content(vecRecords), vecAgain);
  Check(SameRecords(vecRecords, vecAgain));
  return 0;
}
