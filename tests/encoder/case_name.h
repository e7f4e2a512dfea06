#pragma once
// Readable names for table-driven cases: the case's description with every
// character that a test name cannot hold turned into '_'.

#include <gtest/gtest.h>

#include <string>

namespace zepra::test {

inline std::string caseName(std::string text) {
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return text;
}

struct ByDescription {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return caseName(info.param.what);
  }
};

}  // namespace zepra::test
