#include "app/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FileNamesTest, SanitizeReplacesEachAwkwardCharacter) {
  std::wstring name = L"a\\b/c:d*e?f\"g<h>i|j k\tl;m.n-o_p日本";
  Tevrian::SanitizeFileName(name);
  EXPECT_EQ(name, L"a_b_c_d_e_f_g_h_i_j_k_l_m.n-o_p日本");
}

TEST(FileNamesTest, LogFileNameCarriesTheStartTime) {
  EXPECT_EQ(Tevrian::LogFileName(L"Setup A", {2024, 12, 8, 23, 5, 9}), L"Setup_A_2024-12-08-23-05-09.log");
  EXPECT_EQ(Tevrian::LogFileName(L"C:/x y", {987, 1, 2, 3, 4, 5}), L"C__x_y_987-01-02-03-04-05.log");
}

}  // namespace
