// Least squares over two parameter groups: up to four "q" parameters eliminated in closed form
// and two "p" parameters solved from the reduced 2 x 2 normal system
// S = Npp - Nqp^T Nqq^-1 Nqp (Cramer's rule; p = 0 when |det S| < 1e-12).
//
// The caller accumulates centred equation rows (so intercepts are already eliminated); the Gram
// matrix holds, for augmented rows [q0..q(k-1), p0, p1, target], the sums of products divided by
// the row-pair count (means).
#pragma once

#include <cstdint>

constexpr int32_t kMaxReducedQ = 4;
constexpr int32_t kReducedColumns = kMaxReducedQ + 3;

struct ReducedNormalSystem {
    int32_t qCount;  // 2 or 4
    double gram[kReducedColumns][kReducedColumns];
};

// Starts an empty system of qCount q-parameters.
void ClearReducedSystem(ReducedNormalSystem *system, int32_t qCount);

// Adds one equation row: q values, p values and the target (only the first qCount q values are
// read).
void AddReducedRow(ReducedNormalSystem *system, const double *q, double p0, double p1,
                   double target);

// Divides every sum by count.
void ScaleReducedSystem(ReducedNormalSystem *system, double count);

// The Gram entry of q columns i and j.
double ReducedQEntry(const ReducedNormalSystem &system, int32_t i, int32_t j);

// The determinant of the Gram block of q columns 0 and 1 (their spread: near zero when the two
// columns are nearly dependent).
double ReducedQSpread(const ReducedNormalSystem &system);

// Solves for q (qCount values) and p (two values). False when Nqq cannot be inverted or a result
// is not finite.
bool SolveReducedSystem(const ReducedNormalSystem &system, double *q, double *p);
