// The component's descriptor tables as the VM reads them through
// InfoComposante, with lookup of functions and constants by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "abi/Appel.h"
#include "abi/Descripteurs.h"

namespace kvhost {

struct SyntaxInfo {
  int index = 0;                 // position in the row's syntax table
  PFVXLENTREE entry = nullptr;   // null: not available on this platform
  DWORD result = 0;              // type code
  std::vector<DWORD> params;     // declared parameter codes
  bool repeatable = false;       // last parameter may repeat
};

struct FunctionInfo {
  int position = 0;              // row in the table
  int number = 0;                // function number (synonyms repeat an earlier one)
  DWORD flags = 0;
  std::string french;            // Latin-1, as published
  std::string english;
  std::vector<SyntaxInfo> syntaxes;
  bool synonym() const { return (flags & FONCTION_SYNONYME) != 0; }
  bool available() const;        // at least one syntax has an entry point
};

struct ConstantInfo {
  std::string french, english;
  DWORD flags = 0;
  BYTE type = 0;                 // 8 integer, 0x12 text, 0 no value
  std::int64_t integer = 0;
  std::string text;
};

struct VariableInfo {
  std::string french, english;
  DWORD flags = 0;
  int number = 0;
  BYTE type = 0;
};

// Latin-1 name folded for lookup: accents removed, lower case.
std::string foldName(std::string_view latin1);

class Catalog {
public:
  // Reads the tables through the library's InfoComposante.
  explicit Catalog(unsigned long (*infoComposante)(unsigned, unsigned long));

  const std::vector<FunctionInfo>& functions() const { return functions_; }
  const std::vector<ConstantInfo>& constants() const { return constants_; }
  const std::vector<VariableInfo>& variables() const { return variables_; }

  // By French name (accents optional, any case) or English name (any case);
  // the first row wins when a synonym repeats a name. Latin-1 input.
  const FunctionInfo* findFunction(std::string_view name) const;
  const ConstantInfo* findConstant(std::string_view name) const;
  const VariableInfo* findVariable(std::string_view name) const;

private:
  std::vector<FunctionInfo> functions_;
  std::vector<ConstantInfo> constants_;
  std::vector<VariableInfo> variables_;
  std::unordered_map<std::string, std::size_t> functionIndex_, constantIndex_, variableIndex_;
};

}  // namespace kvhost
