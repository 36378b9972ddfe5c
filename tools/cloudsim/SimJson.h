#pragma once

// The JSON the service speaks: one flat object whose members are strings or
// numbers (true, false and null are read as their text). Nested objects and
// arrays are refused. The reader never reads past its input and refuses
// anything malformed; the writer escapes what JSON requires.

#include <map>
#include <string>

class CSimJsonObject {
 public:
  // False, leaving the object empty, when strText is not one flat object.
  bool Parse(const std::string& strText);

  bool Has(const std::string& strName) const { return m_mapMembers.count(strName) != 0; }
  // The member's text (a number as written); empty when absent.
  std::string Get(const std::string& strName) const;
  // The member as a whole number in [nMin, nMax], from a number or decimal text.
  bool GetInt(const std::string& strName, long long nMin, long long nMax, long long& nValue) const;

 private:
  std::map<std::string, std::string> m_mapMembers;
};

// Writes one object, members in the order they are added.
class CSimJsonWriter {
 public:
  CSimJsonWriter& Str(const std::string& strName, const std::string& strValue);
  CSimJsonWriter& Num(const std::string& strName, long long nValue);
  std::string Text() const { return m_strText + "}"; }

 private:
  void Name(const std::string& strName);
  std::string m_strText = "{";
};

std::string SimJsonQuote(const std::string& strValue);
