// Fault lists and the injector: rates, counts, reproducibility, one damage per frame.
#include "Faults.h"

#include <gtest/gtest.h>

#include <set>

using namespace vq5::sim;

namespace {
double Rate(const FaultPlan& p, Fault f) {
    return p.rate[static_cast<int>(f)];
}
long Cnt(const FaultPlan& p, Fault f) {
    return p.count[static_cast<int>(f)];
}
} // namespace

TEST(FaultList, RatesAndCounts) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("drop=0.02, nak=3,check=1.0", p, error)) << error;
    EXPECT_DOUBLE_EQ(Rate(p, Fault::Drop), 0.02);
    EXPECT_EQ(Cnt(p, Fault::Nak), 3);
    EXPECT_DOUBLE_EQ(Rate(p, Fault::Check), 1.0);
    EXPECT_EQ(Cnt(p, Fault::Check), 0);
    EXPECT_TRUE(p.Any());
}

TEST(FaultList, BytesSharesTheRateAmongFlipDropNoise) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("bytes=0.06", p, error));
    EXPECT_DOUBLE_EQ(Rate(p, Fault::Flip), 0.02);
    EXPECT_DOUBLE_EQ(Rate(p, Fault::Drop), 0.02);
    EXPECT_DOUBLE_EQ(Rate(p, Fault::Noise), 0.02);
    ASSERT_TRUE(ParseFaults("bytes=7", p, error));
    EXPECT_EQ(Cnt(p, Fault::Flip) + Cnt(p, Fault::Drop) + Cnt(p, Fault::Noise), 7);
}

TEST(FaultList, EmptyListIsNoFault) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("", p, error));
    EXPECT_FALSE(p.Any());
    ASSERT_TRUE(ParseFaults(" , ", p, error));
    EXPECT_FALSE(p.Any());
}

TEST(FaultList, BadEntriesAreRefusedWithAReason) {
    FaultPlan p;
    p.count[0] = 5;
    std::string error;
    EXPECT_FALSE(ParseFaults("drop", p, error));
    EXPECT_NE(error.find("drop"), std::string::npos);
    EXPECT_FALSE(ParseFaults("drop=", p, error));
    EXPECT_FALSE(ParseFaults("drop=1.5", p, error));
    EXPECT_FALSE(ParseFaults("drop=-0.1", p, error));
    EXPECT_FALSE(ParseFaults("drop=-3", p, error));
    EXPECT_FALSE(ParseFaults("drop=x", p, error));
    EXPECT_FALSE(ParseFaults("thunder=0.1", p, error));
    EXPECT_NE(error.find("thunder"), std::string::npos);
    EXPECT_EQ(p.count[0], 5); // a refused list leaves the plan alone
}

TEST(FaultInjector, CountsHitTheFirstOpportunities) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("nak=2", p, error));
    CFaultInjector f(p, 7);
    EXPECT_TRUE(f.Fire(Fault::Nak));
    EXPECT_TRUE(f.Fire(Fault::Nak));
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(f.Fire(Fault::Nak));
    EXPECT_EQ(f.Injected(Fault::Nak), 2u);
    EXPECT_FALSE(f.Fire(Fault::Drop));
}

TEST(FaultInjector, RatesAreReproducibleFromTheSeed) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("drop=0.3", p, error));
    auto run = [&](std::uint64_t seed) {
        CFaultInjector f(p, seed);
        std::string pattern;
        for (int i = 0; i < 200; ++i)
            pattern += f.Fire(Fault::Drop) ? '1' : '0';
        return pattern;
    };
    EXPECT_EQ(run(42), run(42));
    EXPECT_NE(run(42), run(43));
    const std::string p42 = run(42);
    const auto hits = std::count(p42.begin(), p42.end(), '1');
    EXPECT_GT(hits, 30);
    EXPECT_LT(hits, 90);
}

TEST(FaultInjector, ByteFaultsAreFlipDropOrNoise) {
    FaultPlan p;
    std::string error;
    ASSERT_TRUE(ParseFaults("flip=1,drop=1,noise=1", p, error));
    CFaultInjector f(p, 1);
    EXPECT_EQ(f.ByteFault(), Fault::Flip);
    EXPECT_EQ(f.ByteFault(), Fault::Drop);
    EXPECT_EQ(f.ByteFault(), Fault::Noise);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(f.ByteFault(), Fault::Count);
    EXPECT_EQ(f.InjectedTotal(), 3u);
}

TEST(FaultInjector, NoiseNeverStartsAFrameAndMasksAreNeverZero) {
    CFaultInjector f({}, 3);
    std::set<int> seen;
    for (int i = 0; i < 5000; ++i) {
        const unsigned char n = f.NoiseByte();
        EXPECT_NE(n, 0x00);
        EXPECT_NE(n, 0x01);
        EXPECT_NE(n, 'P');
        EXPECT_NE(n, 'S');
        EXPECT_NE(n, 0xE1);
        seen.insert(n);
        EXPECT_NE(f.FlipMask(), 0);
        EXPECT_NE(f.OtherBlockByte(), 0);
    }
    EXPECT_GT(seen.size(), 200u);
}
