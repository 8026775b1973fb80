// Alert evaluation. Two alerts are the user's targets proper (the latest
// price at or above the sell target, at or below the buy target); two are
// weaker notices raised at most once per run across all stocks (today's high
// touched the sell target, today's low touched the buy target, while the
// latest price is back on the other side).
#include "alerts/AlertChecker.h"

#include "alerts/AlertDelivery.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"

std::string DayHighNoticed = "N";
std::string DayLowNoticed = "N";

void AlertChecker(int i) {
    if (i < 0 || i >= kWatchListSize) {
        return;
    }
    QuoteRecord& r = WatchList[i];
    // Every comparison uses the values read once here.
    const double latest = ReadNumber(r.latest);
    const double high = ReadNumber(r.high);
    const double low = ReadNumber(r.low);
    const double sell = ReadNumber(r.sellTarget);
    const double buy = ReadNumber(r.buyTarget);

    // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
    // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    if (latest >= sell && r.sellAlerted == "N" && sell > 0) {
        DeliverAlert(r, r.high, sell, "H");
        r.sellAlerted = "Y";
    }
    // A latest price of 0 is no trade at all (before the opening auction, a
    // suspended stock, a damaged page), not a price at the buy target.
    if (latest <= buy && r.buyAlerted == "N" && buy > 0 && latest > 0) {
        DeliverAlert(r, r.low, buy, "L");
        r.buyAlerted = "Y";
    }
    if (high >= sell && latest < sell && DayHighNoticed == "N" && sell > 0 && high > 0) {
        DeliverAlert(r, r.high, sell, "HH");
        DayHighNoticed = "Y";
    }
    if (low <= buy && latest > buy && DayLowNoticed == "N" && buy > 0 && low > 0) {
        DeliverAlert(r, r.low, buy, "LL");
        DayLowNoticed = "Y";
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    // assign(1, 'N') rather than = "N": g++ 12 at -O3 warns wrongly
    // (-Wrestrict) about the inlined copy of the literal.
    DayHighNoticed.assign(1, 'N');
    DayLowNoticed.assign(1, 'N');
});

} // namespace
