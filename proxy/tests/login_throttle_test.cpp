// Failed sign-ins per address: refused after ten within a minute, for a
// minute, and for that address only.
#include <gtest/gtest.h>

#include "proxy/web/KvLoginThrottle.h"

TEST(LoginThrottle, TenFailuresWithinAMinuteRefuseThatAddressForAMinute) {
    KvLoginThrottle t;
    for (int i = 0; i < 9; ++i) t.RecordFailure("10.0.0.1", i * 1000);
    EXPECT_FALSE(t.IsRefused("10.0.0.1", 9000));
    t.RecordFailure("10.0.0.1", 9000);
    EXPECT_TRUE(t.IsRefused("10.0.0.1", 9000));
    EXPECT_FALSE(t.IsRefused("10.0.0.2", 9000));
    EXPECT_TRUE(t.IsRefused("10.0.0.1", 9000 + KvLoginThrottle::kWindowMs - 1));
    // A minute later the member may try again, with a fresh count.
    EXPECT_FALSE(t.IsRefused("10.0.0.1", 9000 + KvLoginThrottle::kWindowMs));
    t.RecordFailure("10.0.0.1", 70000);
    EXPECT_FALSE(t.IsRefused("10.0.0.1", 70000));
}

TEST(LoginThrottle, FailuresSpreadOverMoreThanAMinuteNeverRefuse) {
    KvLoginThrottle t;
    for (int i = 0; i < 30; ++i) t.RecordFailure("10.0.0.1", i * 7000);
    EXPECT_FALSE(t.IsRefused("10.0.0.1", 30 * 7000));
}

TEST(LoginThrottle, RemembersABoundedNumberOfAddresses) {
    KvLoginThrottle t;
    for (size_t i = 0; i < KvLoginThrottle::kMaxAddresses + 100; ++i) t.RecordFailure(std::to_string(i), 1000);
    EXPECT_LE(t.AddressCount(), KvLoginThrottle::kMaxAddresses);
}
