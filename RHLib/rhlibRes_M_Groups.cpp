// ===========================================================================
// Group counting and partitions
// ===========================================================================

#include "rhlibRes_M.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "rhlibRes_M_internal.h"

namespace groupsdetail {

// Sorted distinct values of the selected labels (all when select is null).
std::vector<int> Distinct(int n, const int* groups, const int* select) {
    std::vector<int> v;
    v.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; i++)
        if (select == nullptr || select[i] == 1) v.push_back(groups[i]);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

void Report(const std::vector<int>& distinct, int& count, int* labels) {
    count = static_cast<int>(distinct.size());
    if (labels != nullptr) std::copy(distinct.begin(), distinct.end(), labels);
}

// Class of x by the equal-width rule; always within 1..k.
inline double ClassOf(double x, int k, double min, double max) {
    if (x == min) return 1.0;
    if (x == max) return k;
    double c = std::ceil((x - min) * k / (max - min));
    // Rounding at the top end, or a value outside the bounds given, stays in
    // the range of classes.
    if (!(c >= 1.0)) c = 1.0;
    if (c > k) c = k;
    return c;
}

// Positions 0..k-1 of the units' groups: the position of each label among
// the sorted distinct labels, or the unit itself when groups is null.
std::vector<int> Positions(int n, const int* groups) {
    std::vector<int> pos;
    if (groups == nullptr) {
        pos.resize(n > 0 ? n : 0);
        for (int i = 0; i < n; i++) pos[i] = i;
    } else {
        statsdetail::GroupPositions(n, groups, pos);
    }
    return pos;
}

}  // namespace groupsdetail

void CountGroups(int n, const int* groups, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, nullptr), count, labels);
}

void CountGroupsNew(int n, const int* groups, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, nullptr), count, labels);
}

void CountGroupsSelect(int n, const int* groups, const int* select, int& count, int* labels) {
    groupsdetail::Report(groupsdetail::Distinct(n, groups, select), count, labels);
}

int GroupPositions(int n, const int* groups, int* positions) {
    std::vector<int> pos;
    const int g = statsdetail::GroupPositions(n, groups, pos);
    for (int i = 0; i < n; i++) positions[i] = pos[i] + 1;
    return g;
}

void RenamePartitionLabels(int n, int k, int* labels) {
    // Equivalent to: for v = 1..k, while no label is v and some label exceeds
    // v, decrease every label above v by 1. Labels below 1 never move; the
    // distinct positive labels take 1, 2, ... in order, and labels beyond the
    // k-th keep their distances to it. Done by one pass over the distinct
    // labels instead of one pass over the units per decrement.
    std::vector<int> distinct;
    distinct.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; i++)
        if (labels[i] >= 1) distinct.push_back(labels[i]);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<long long> target(distinct.size());
    long long shift = 0;
    size_t d = 0;
    for (long long v = 1; v <= k && d < distinct.size(); v++, d++) {
        // distinct[d] - shift is the current value of the smallest label not
        // yet settled; it is at least v.
        shift += distinct[d] - shift - v;
        target[d] = v;
    }
    for (; d < distinct.size(); d++) target[d] = distinct[d] - shift;
    for (int i = 0; i < n; i++) {
        if (labels[i] < 1) continue;
        const size_t p = std::lower_bound(distinct.begin(), distinct.end(), labels[i]) - distinct.begin();
        labels[i] = static_cast<int>(target[p]);
    }
}

int ClassesDefinitionMV(int n, const double* x, double* classes, int k, double min, double max) {
    if (k < 1) return 0;
    for (int i = 0; i < n; i++) {
        if (x[i] == min)
            classes[i] = 1.0;
        else if (x[i] == max)
            classes[i] = k;
        else if (x[i] == MISSING)
            classes[i] = MISSING;
        else
            classes[i] = groupsdetail::ClassOf(x[i], k, min, max);
    }
    return 1;
}

int ClassesMV(int n, const double* x, double* classes, int k) {
    if (k < 1) return 0;
    statsdetail::RowStats r(n, x, true);
    return ClassesDefinitionMV(n, x, classes, k, r.mn, r.mx);
}

int ClassesDefinition(int n, const double* x, double* classes, int k, double min, double max) {
    if (k < 1) return 0;
    for (int i = 0; i < n; i++) classes[i] = groupsdetail::ClassOf(x[i], k, min, max);
    return 1;
}

int Classes(int n, const double* x, double* classes, int k) {
    if (k < 1) return 0;
    statsdetail::RowStats r(n, x, false);
    return ClassesDefinition(n, x, classes, k, r.mn, r.mx);
}

void FreqDistribution(int n, const double* x, int* counts, int k, double* upperBounds) {
    if (k < 1) return;
    for (int c = 0; c < k; c++) counts[c] = 0;
    if (n <= 0) return;
    statsdetail::RowStats r(n, x, false);
    for (int i = 0; i < n; i++) counts[static_cast<int>(groupsdetail::ClassOf(x[i], k, r.mn, r.mx)) - 1]++;
    if (upperBounds != nullptr)
        for (int c = 0; c < k; c++) upperBounds[c] = r.mn + (c + 1) * (r.mx - r.mn) / k;
}

void CrispBelonging(int n, int k, const int* groups, double** Q) {
    const std::vector<int> pos = groupsdetail::Positions(n, groups);
    for (int i = 0; i < n; i++)
        for (int g = 0; g < k; g++) Q[i][g] = pos[i] == g ? 1.0 : 0.0;
}

void FuzzyBelonging(int n, int k, double** S, const int* groups, double** Q, bool dissimilarity) {
    if (n <= 0) return;
    const std::vector<int> pos = groupsdetail::Positions(n, groups);
    auto raw = [&](int i, int j) { return i <= j ? S[i][j] : S[j][i]; };
    auto sim = [&](double s) { return dissimilarity ? 1.0 - s : s; };

    std::vector<int> count(k > 0 ? k : 0, 0);
    for (int i = 0; i < n; i++)
        if (pos[i] < k) count[pos[i]]++;

    // A unit identical to an earlier unit of its group is marked and leaves
    // that group's count; it then stands in for that unit in its own row.
    std::vector<int> duplicateOf(n, -1);
#pragma omp parallel for schedule(static)
    for (int i = 0; i < n; i++) {
        if (pos[i] >= k) continue;
        for (int j = 0; j < i; j++) {
            if (pos[j] != pos[i]) continue;
            const double s = raw(j, i);
            if (s != MISSING && AlmostEqual2sComplement(sim(s), 1.0, 1)) {
                duplicateOf[i] = j;
#pragma omp atomic
                count[pos[i]]--;
                break;
            }
        }
    }

    // Work rows of every thread made before the parallel region, so that
    // nothing in it can throw.
    const size_t kk = count.size();
    std::vector<double> sums(kk * static_cast<size_t>(omp_get_max_threads()));
    std::vector<char> addeds(sums.size());
#pragma omp parallel
    {
        double* sum = sums.data() + kk * static_cast<size_t>(omp_get_thread_num());
        char* added = addeds.data() + kk * static_cast<size_t>(omp_get_thread_num());
#pragma omp for schedule(static)
        for (int i = 0; i < n; i++) {
            std::fill(sum, sum + kk, 0.0);
            std::fill(added, added + kk, 0);
            for (int j = 0; j < n; j++) {
                const int g = pos[j];
                if (g >= k) continue;
                if (j != i && (duplicateOf[j] >= 0 || j == duplicateOf[i])) continue;
                const double s = raw(i, j);
                if (s == MISSING) continue;
                sum[g] += sim(s);
                added[g] = 1;
            }
            for (int g = 0; g < k; g++) Q[i][g] = added[g] ? sum[g] / count[g] : MISSING;
        }
    }
    UnitSumRowsAdjMV(n, k, Q, Q);
}

void ClusterIdenticals(int n, double** S, int* partition, int& count, bool dissimilarity) {
    const double same = dissimilarity ? 0.0 : 1.0;
    for (int i = 0; i < n; i++) partition[i] = i + 1;
    for (int j = 1; j < n; j++)
        for (int i = 0; i < j; i++)
            if (S[i][j] == same) {
                partition[j] = partition[i];
                break;
            }
    CountGroupsNew(n, partition, count, nullptr);
    RenamePartitionLabels(n, count, partition);
}

void ConcentrateGroups(int n, int m, double** X, double** Y, int kRows, const int* rowGroups, int kCols,
                       const int* colGroups, int mode) {
    const std::vector<int> rp = groupsdetail::Positions(n, rowGroups);
    const std::vector<int> cp = groupsdetail::Positions(m, colGroups);
    std::vector<double> rowSize(kRows > 0 ? kRows : 0, 0.0), colSize(kCols > 0 ? kCols : 0, 0.0);
    for (int i = 0; i < n; i++)
        if (rp[i] < kRows) rowSize[rp[i]]++;
    for (int j = 0; j < m; j++)
        if (cp[j] < kCols) colSize[cp[j]]++;
    for (int a = 0; a < kRows; a++)
        for (int b = 0; b < kCols; b++) Y[a][b] = 0.0;
    double plain = 0.0;
    for (int i = 0; i < n; i++) {
        if (rp[i] >= kRows) continue;
        double* y = Y[rp[i]];
        for (int j = 0; j < m; j++)
            if (cp[j] < kCols) {
                y[cp[j]] += X[i][j];
                plain += X[i][j];
            }
    }
    double total = 0.0;
    for (int a = 0; a < kRows; a++)
        for (int b = 0; b < kCols; b++) {
            Y[a][b] /= statsdetail::NonZero(rowSize[a] * colSize[b]);
            total += Y[a][b];
        }
    if (mode == 1 && total != 0.0) {
        const double f = plain / total;
        for (int a = 0; a < kRows; a++)
            for (int b = 0; b < kCols; b++) Y[a][b] *= f;
    }
}

void ReleveChange(int n, double** X, double** Y, int m, int k, const int* groups) {
    std::vector<int> pos;
    statsdetail::GroupPositions(n, groups, pos);
    for (int g = 0; g < k; g++)
        for (int u = 0; u < n; u++) {
            if (pos[u] != g) continue;
            for (int j = 0; j < m; j++) Y[j][g] = X[j][u] - Y[j][g];
        }
}

void SplitMovingWinPool(int n, int m, double** X, double** Y, int width, int& count, bool byRows) {
    const int length = byRows ? n : m;
    count = (width >= 1 && width <= length) ? length - width + 1 : 0;
    for (int w = 0; w < count; w++) {
        if (byRows) {
            for (int c = 0; c < m; c++) {
                double s = 0.0;
                for (int r = w; r < w + width; r++) s += X[r][c];
                Y[w][c] = s / width;
            }
        } else {
            for (int r = 0; r < n; r++) {
                double s = 0.0;
                for (int c = w; c < w + width; c++) s += X[r][c];
                Y[r][w] = s / width;
            }
        }
    }
}
