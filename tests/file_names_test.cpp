#include "job/file_names.h"

#include <gtest/gtest.h>

#include <string>

#include "console/typed_name.h"

namespace model_unpack {
namespace {

struct NameCase {
  std::string typed;
  std::string model;
  std::string info;
};

class NameDerivation : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameDerivation, GivesModelAndInfoFileNames) {
  const JobNames names = derive_typed_names(GetParam().typed);
  EXPECT_EQ(names.model, GetParam().model);
  EXPECT_EQ(names.info, GetParam().info);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NameDerivation,
    ::testing::Values(NameCase{"castle", "castle.zmdl", "castle.txt"},
                      NameCase{"castle.bin", "castle.bin", "castle.txt"},
                      NameCase{"a.b.c", "a.b.c", "a.txt"},
                      NameCase{"castle.", "castle.", "castle.txt"},
                      NameCase{"..\\models\\castle", "..\\models\\castle", ".txt"},
                      NameCase{"old.models\\castle", "old.models\\castle", "old.txt"},
                      NameCase{"", ".zmdl", ".txt"},
                      NameCase{"models/castle", "models/castle.zmdl", "models/castle.txt"}));

TEST(NameLimits, NameOf250CharactersWithoutDotGetsTheExtension) {
  const std::string typed(250, 'n');
  ASSERT_TRUE(name_fits_buffer(typed));
  const JobNames names = derive_typed_names(typed);
  EXPECT_EQ(names.model, typed + ".zmdl");
  EXPECT_EQ(names.info, typed + ".txt");
}

TEST(NameLimits, DotAtPosition251OrLaterCutsTheInfoNameAt251Characters) {
  const std::string typed = std::string(251, 'n') + ".bin";
  const JobNames names = derive_typed_names(typed);
  EXPECT_EQ(names.model, typed);
  const std::string info = names.info;
  EXPECT_EQ(info, std::string(251, 'n') + "txt");
  EXPECT_EQ(info.size(), 254u);
}

TEST(NameLimits, OnlyNamesThatFitTheBufferAreAccepted) {
  EXPECT_FALSE(name_fits_buffer(std::string(251, 'n')));
  EXPECT_TRUE(name_fits_buffer(std::string(254, 'n') + "."));
  EXPECT_FALSE(name_fits_buffer(std::string(255, 'n') + "."));
  EXPECT_FALSE(name_fits_buffer(std::string(5000, 'n')));
  // Past a NUL the job never looks, but the word must still fit.
  EXPECT_TRUE(name_fits_buffer(std::string("ab\0c.d", 6)));
}

}  // namespace
}  // namespace model_unpack
