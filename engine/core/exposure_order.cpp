// The comparison trees of the exposure ordering.
#include "exposure_order.h"

#include "hdr_engine.h"
#include "session.h"

namespace {

struct Order {
    int32_t dark;
    int32_t bright;
    int32_t reference;
};

// Three gains; every comparison strict unless written otherwise. strictTopTie selects the
// variant's g0 > g2 where the main rule has g0 >= g2.
Order OrderThree(const double *g, bool strictTopTie) {
    if (g[1] > g[0]) {
        if (g[2] > g[1]) return {2, 0, 1};
        const bool zeroAboveTwo = strictTopTie ? g[0] > g[2] : g[0] >= g[2];
        return zeroAboveTwo ? Order{1, 2, 0} : Order{1, 0, 2};
    }
    if (g[2] > g[0]) return {2, 1, 0};
    return g[1] > g[2] ? Order{0, 2, 1} : Order{0, 1, 2};
}

Order OrderTwo(const double *g, bool referenceIsBrightest) {
    const Order order = g[0] > g[1] ? Order{0, 1, 0} : Order{1, 0, 0};
    return referenceIsBrightest ? Order{order.dark, order.bright, order.bright} : order;
}

int StoreOrder(HdrSession *session, const double *gains, int32_t count, bool variant) {
    if (!session || !gains) return RESULT_INVALID_ARGUMENT;
    Order order = {0, 0, 0};
    if (count == 3) order = OrderThree(gains, variant);
    if (count == 2) order = OrderTwo(gains, variant);
    session->darkIndex = order.dark;
    session->brightIndex = order.bright;
    session->referenceIndex = order.reference;
    return RESULT_OK;
}

}  // namespace

int OrderExposures(HdrSession *session, const double *gains, int32_t count) {
    return StoreOrder(session, gains, count, false);
}

int OrderExposuresVariant(HdrSession *session, const double *gains, int32_t count) {
    return StoreOrder(session, gains, count, true);
}
