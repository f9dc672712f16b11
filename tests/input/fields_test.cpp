// The field scanner: separators, and the limits of the integer and real
// conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input/fields.h"
#include "input/reader_test_support.h"

namespace {

TEST(NextField, TabsSeparateAndSpacesDoNot) {
  char line[] = "\t\t3\t\t5 6\t \t";
  char *pos = line;
  EXPECT_STREQ(next_field(&pos), "3");
  EXPECT_STREQ(next_field(&pos), "5 6");
  EXPECT_STREQ(next_field(&pos), " ");
  // Trailing tabs end the line without an empty field.
  EXPECT_EQ(next_field(&pos), nullptr);
  EXPECT_EQ(next_field(&pos), nullptr);
}

TEST(FieldConversion, AcceptsTheWholeIntRangeAndDecimalReals) {
  TEXT_FILE f = {nullptr, "count file", "c.txt", 1};
  EXPECT_EQ(field_int(&f, "2147483647", 1), 2147483647);
  EXPECT_EQ(field_int(&f, "-2147483648", 1), -2147483647 - 1);
  EXPECT_EQ(field_int(&f, " +007 ", 1), 7);
  EXPECT_EQ(field_real(&f, "-0", 1), 0.0);
  EXPECT_EQ(field_real(&f, " 1E-3", 1), 1e-3);
  EXPECT_EQ(field_real(&f, "+2.5e+1 ", 1), 25.0);
  EXPECT_EQ(field_real(&f, "1e-400", 1), 0.0);  // underflow is a number, if tiny
  f.line = 4;
  EXPECT_FATAL_OUTPUT(field_int(&f, "-2147483649", 3),
                      "Error: count file \"c.txt\", line 4, field 3: \"-2147483649\" is beyond the integer range\n");
  EXPECT_FATAL_OUTPUT(field_real(&f, "", 2), "Error: count file \"c.txt\", line 4, field 2: \"\" is not a number\n");
  EXPECT_FATAL_OUTPUT(field_real(&f, "infinity", 2),
                      "Error: count file \"c.txt\", line 4, field 2: \"infinity\" is not a finite number\n");
}

}  // namespace
