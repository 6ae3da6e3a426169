// The installation driver's own logic that needs no windows: the leading-number
// conversion of Excel's version text that decides the refusal.
#include <gtest/gtest.h>

#include <string>

#include "install.h"
#include "test_support.h"

using testing_support::Narrow;

TEST(InstallDriver, LeadingNumberOfTheVersionText) {
    const struct {
        const wchar_t* text;
        double number;
        bool refused;  // below 9: Excel 97 or earlier
    } cases[] = {
        {L"8.0", 8, true},
        {L"9.0", 9, false},
        {L"11.0", 11, false},
        {L"12.0", 12, false},
        {L"16.0", 16, false},
        {L"8.5", 8.5, true},
        {L"  9", 9, false},
        {L"9a", 9, false},
        {L"10.0.1", 10, false},
        {L".5", 0.5, true},
        {L"", 0, true},
        {L"Excel 16", 0, true},
        {L"-12", 0, true},
    };
    for (const auto& c : cases) {
        const double number = ferrolin::LeadingNumber(c.text);
        EXPECT_DOUBLE_EQ(number, c.number) << "\"" << Narrow(c.text) << "\"";
        EXPECT_EQ(number < 9, c.refused) << "\"" << Narrow(c.text) << "\"";
    }
}
