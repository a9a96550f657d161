// ===========================================================================
// Hierarchical clustering
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

// The strict order in which pair values compete: smaller (or, for similarity
// fusions, larger) values are better, and a NaN is worse than any number, so
// a search that starts from the first admissible pair always ends on a pair.
inline bool Better(double x, double incumbent, bool smallest) {
    if (std::isnan(incumbent)) return !std::isnan(x);
    return smallest ? x < incumbent : x > incumbent;
}

// Working copy of the upper triangle of an n x n matrix: row i holds the
// columns i+1 to n-1 contiguously, so a row scan reads consecutive memory.
// Element (i, j), i < j, is row[i][j - i - 1]; the rows may also point into a
// caller's square matrix.
struct Upper {
    double** row = nullptr;
    double* packed = nullptr;
    int n = 0;

    double& operator()(int i, int j) const { return row[i][j - i - 1]; }
    double Get(int i, int j) const { return i < j ? row[i][j - i - 1] : row[j][i - j - 1]; }
    void Set(int i, int j, double v) const {
        if (i < j)
            row[i][j - i - 1] = v;
        else
            row[j][i - j - 1] = v;
    }
};

Upper PackedUpper(int n) {
    Upper u;
    u.n = n;
    unsigned long long total = static_cast<unsigned long long>(n) * (n > 0 ? n - 1 : 0) / 2;
    // Not filled: every user writes each pair before reading any.
    u.packed = static_cast<double*>(dim1DUnfilled(sizeof(double) * (total > 0 ? total : 1), 1));
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        u.row[i] = u.packed + offset;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    return u;
}

// The upper triangle of a square matrix, each value through f, in a packed
// copy. The team makes it: its first writes map the new memory page by page,
// at a cost as long as the copy itself.
template <class F>
Upper PackedCopy(int n, double** square, const F& f) {
    Upper u = PackedUpper(n);
#pragma omp parallel for schedule(dynamic, 16) if (n > 500)
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) u(i, j) = f(square[i][j]);
    return u;
}

Upper ViewOf(int n, double** square) {
    Upper u;
    u.n = n;
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    for (int i = 0; i < n; i++) u.row[i] = square[i] + i + 1;
    return u;
}

void Release(Upper& u) {
    free1D(u.packed);
    free1D(u.row);
    u = Upper();
}

// Adjacency of the constrained method in the same packed layout.
struct UpperFlags {
    char* packed = nullptr;
    unsigned long long* offset = nullptr;
    bool operator()(int i, int j) const { return packed[offset[i] + (j - i - 1)] != 0; }
    char& At(int i, int j) const { return packed[offset[i] + (j - i - 1)]; }
};

// The value of the new group against another group g in the linkage methods,
// from its old values against the two fused groups.
inline double LinkageValue(int method, bool isDissimilarity, double xa, double xb, double na,
                           double nb) {
    switch (method) {
        case 1:
            return isDissimilarity ? Fmin(xa, xb) : Fmax(xa, xb);
        case 2:
            return isDissimilarity ? Fmax(xa, xb) : Fmin(xa, xb);
        case 4:
            return (na * xa + nb * xb) / (na + nb);
        case 5:
            return (xa + xb) / 2;
        default:
            return xa;
    }
}

// Squared distance between the centroid of the new group and group g (Ward),
// from the squared centroid distances of the two fused groups.
inline double WardValue(double dga, double dgb, double dab, double na, double nb) {
    double nn = na + nb;
    return (na * dga + nb * dgb) / nn - na * nb * dab / (nn * nn);
}

// Increase of the within-group sum of squares when two groups fuse.
inline double WardIncrease(double na, double dab, double nb) { return na * dab * nb / (na + nb); }

// Current groups of an agglomeration kept at fixed positions: a fused group
// stays at the lower position and the higher one leaves. Because the groups
// keep their relative order, scanning the active positions in order is the
// same as scanning a compacted matrix, ties included. Each row caches its
// best admissible column, so a fusion costs the rows it touches, not a scan
// of every pair.
class PairSearch {
public:
    // value(i, j) and admissible(i, j) for active positions i < j.
    PairSearch(int n, bool smallest) : n_(n), smallest_(smallest) {
        next_ = dim1DT<int>(n + 1);
        prev_ = dim1DT<int>(n + 1);
        bestCol_ = dim1DT<int>(n + 1);
        bestVal_ = dim1DT<double>(n + 1);
        for (int i = 0; i < n; i++) {
            next_[i] = i + 1 < n ? i + 1 : -1;
            prev_[i] = i - 1;
            bestCol_[i] = -1;
        }
        head_ = n > 0 ? 0 : -1;
    }
    ~PairSearch() {
        free1D(next_);
        free1D(prev_);
        free1D(bestCol_);
        free1D(bestVal_);
    }
    PairSearch(const PairSearch&) = delete;
    PairSearch& operator=(const PairSearch&) = delete;

    int Head() const { return head_; }
    int Next(int i) const { return next_[i]; }

    template <class Value, class Admissible>
    void Init(const Value& value, const Admissible& admissible) {
        for (int g = head_; g != -1; g = next_[g]) RecomputeRow(g, value, admissible);
    }

    // The first best admissible pair in row-major order; false when none.
    bool Best(int& a, int& b) const {
        int ga = -1;
        for (int g = head_; g != -1; g = next_[g])
            if (bestCol_[g] >= 0 && (ga < 0 || Better(bestVal_[g], bestVal_[ga], smallest_))) ga = g;
        if (ga < 0) return false;
        a = ga;
        b = bestCol_[ga];
        return true;
    }

    // The first best pair of all, admissible or not.
    template <class Value>
    void BestOfAll(int& a, int& b, const Value& value) const {
        a = -1;
        double best = 0;
        for (int i = head_; i != -1; i = next_[i])
            for (int j = next_[i]; j != -1; j = next_[j]) {
                double v = value(i, j);
                if (a < 0 || Better(v, best, smallest_)) {
                    a = i;
                    b = j;
                    best = v;
                }
            }
    }

    // After the values of position a against every group changed and
    // position b left (a < b), brings the row caches up to date.
    template <class Value, class Admissible>
    void Fused(int a, int b, const Value& value, const Admissible& admissible) {
        Remove(b);
        RecomputeRow(a, value, admissible);
        for (int g = head_; g != a; g = next_[g]) {
            if (bestCol_[g] == a || bestCol_[g] == b) {
                RecomputeRow(g, value, admissible);
            } else if (admissible(g, a)) {
                // Only the value against a changed in this row.
                double v = value(g, a);
                if (bestCol_[g] < 0 || Better(v, bestVal_[g], smallest_) ||
                    (!Better(bestVal_[g], v, smallest_) && a < bestCol_[g])) {
                    bestCol_[g] = a;
                    bestVal_[g] = v;
                }
            }
        }
        for (int g = next_[a]; g != -1 && g < b; g = next_[g])
            if (bestCol_[g] == b) RecomputeRow(g, value, admissible);
    }

private:
    template <class Value, class Admissible>
    void RecomputeRow(int g, const Value& value, const Admissible& admissible) {
        int col = -1;
        double best = 0;
        for (int c = next_[g]; c != -1; c = next_[c]) {
            if (!admissible(g, c)) continue;
            double v = value(g, c);
            if (col < 0 || Better(v, best, smallest_)) {
                col = c;
                best = v;
            }
        }
        bestCol_[g] = col;
        bestVal_[g] = best;
    }

    void Remove(int b) {
        if (prev_[b] >= 0)
            next_[prev_[b]] = next_[b];
        else
            head_ = next_[b];
        if (next_[b] >= 0) prev_[next_[b]] = prev_[b];
        bestCol_[b] = -1;
    }

    int n_;
    bool smallest_;
    int head_;
    int* next_;
    int* prev_;
    int* bestCol_;
    double* bestVal_;
};

// Member lists of the current groups, by position: entity numbers from 1 in
// the order the records list them. A fused group's list is the members of
// the record that formed it: the records are written by copying those.
class MemberLists {
public:
    explicit MemberLists(int n) {
        first_ = dim1DT<int>(n > 0 ? n : 1);
        last_ = dim1DT<int>(n > 0 ? n : 1);
        next_ = dim1DT<int>(n > 0 ? n : 1);
        size_ = dim1DT<int>(n > 0 ? n : 1);
        formed_ = dim1DT<int>(n > 0 ? n : 1);
        for (int i = 0; i < n; i++) {
            first_[i] = last_[i] = i;
            next_[i] = -1;
            size_[i] = 1;
            formed_[i] = -1;
        }
    }
    ~MemberLists() {
        free1D(first_);
        free1D(last_);
        free1D(next_);
        free1D(size_);
        free1D(formed_);
    }
    MemberLists(const MemberLists&) = delete;
    MemberLists& operator=(const MemberLists&) = delete;

    int Size(int pos) const { return size_[pos]; }
    // Entities (from 0) of the group at pos, in order.
    int First(int pos) const { return first_[pos]; }
    int After(int entity) const { return next_[entity]; }

    // Writes members, nMembers and lastOfFirst of records[k], the fusion of
    // a and b; Join(a, b) follows.
    void Describe(int a, int b, clusterReport* records, int k) {
        clusterReport& r = records[k];
        int m = CopyMembers(a, records, r.members);
        r.nMembers = m + CopyMembers(b, records, r.members + m);
        r.lastOfFirst = last_[a] + 1;
        formed_[a] = k;
    }

    void Join(int a, int b) {
        next_[last_[a]] = first_[b];
        last_[a] = last_[b];
        size_[a] += size_[b];
    }

private:
    int CopyMembers(int pos, const clusterReport* records, int* to) const {
        if (formed_[pos] < 0) {
            *to = first_[pos] + 1;
            return 1;
        }
        memcpy(to, records[formed_[pos]].members, sizeof(int) * static_cast<size_t>(size_[pos]));
        return size_[pos];
    }

    int* first_;
    int* last_;
    int* next_;
    int* size_;
    int* formed_;  // the record that formed the group at a position; -1: one entity
};

// The record of the k-th fusion (from 1) of a linkage method: positions a < b
// fuse at `level`; the fused group stays at a.
void LinkageRecord(int n, int k, int a, int b, double level, MemberLists& groups, double* nodeLevel,
                   clusterReport* records) {
    clusterReport& r = records[k - 1];
    groups.Describe(a, b, records, k - 1);
    r.node = n + k;
    r.level = level;
    r.branchFirst = level - nodeLevel[a];
    r.branchSecond = level - nodeLevel[b];
    nodeLevel[a] = level;
    groups.Join(a, b);
}

// All bits set when c holds; Pick(Mask(c), a, b) is c ? a : b.
inline uint64_t Mask(bool c) { return 0 - static_cast<uint64_t>(c); }
inline int Pick(uint64_t mask, int a, int b) {
    const uint32_t m = static_cast<uint32_t>(mask);
    return static_cast<int>((static_cast<uint32_t>(a) & m) | (static_cast<uint32_t>(b) & ~m));
}
inline double Pick(uint64_t mask, double a, double b) {
    uint64_t x, y;
    memcpy(&x, &a, sizeof x);
    memcpy(&y, &b, sizeof y);
    x = (x & mask) | (y & ~mask);
    memcpy(&a, &x, sizeof a);
    return a;
}

// The single-linkage hierarchy in its pointer representation (Sibson's
// algorithm), the entities taken from the last to the first so that each
// reads its own row of the upper triangle once: entity j > 0 joins the
// cluster of pointer[j] < j at level[j]. The levels are values of the matrix
// themselves. False when a value is not finite or is a negative zero: NaN
// competes by its own rule, and which zero a fusion reports would depend on
// the order of the comparisons; the pair search settles those.
template <bool kSmallest>
bool PointerRepresentation(int n, double** matrix, int* pointer, double* level, double* mu) {
    auto better = [](double x, double y) { return kSmallest ? x < y : x > y; };
    const double worst = kSmallest ? HUGE_VAL : -HUGE_VAL;
    constexpr uint64_t kExponent = 0x7ff0000000000000ULL, kNegativeZero = 0x8000000000000000ULL;
    uint64_t unordered = 0;
    pointer[n - 1] = n - 1;
    level[n - 1] = worst;
    for (int i = n - 2; i >= 0; i--) {
        pointer[i] = i;
        level[i] = worst;
        const double* row = matrix[i];
        for (int j = i + 1; j < n; j++) {
            uint64_t bits;
            memcpy(&bits, row + j, sizeof bits);
            unordered |= ((bits & kExponent) == kExponent) | (bits == kNegativeZero);
            mu[j] = row[j];
        }
        // Entities in the order they were taken (the one pointed to comes
        // later). On data without ties each comparison is a coin toss: the
        // choices are made by masks, as the optimizer turns conditional
        // expressions back into branches (equal values have equal bits here,
        // so min and max need no order between them). The next row is
        // fetched meanwhile.
        const double* next = matrix[i > 0 ? i - 1 : i];
        for (int j = n - 1; j > i; j--) {
            if ((j & 7) == 0) __builtin_prefetch(next + j);
            const int p = pointer[j];
            const double l = level[j], x = mu[j], mp = mu[p];
            const uint64_t joins = Mask(!better(l, x));
            const double passed = Pick(joins, l, x);
            mu[p] = kSmallest ? std::min(passed, mp) : std::max(passed, mp);
            level[j] = Pick(joins, x, l);
            pointer[j] = Pick(joins, i, p);
        }
        for (int j = n - 1; j > i; j--) {
            const int p = pointer[j];
            pointer[j] = Pick(Mask(better(level[j], level[p])), p, i);
        }
    }
    return unordered == 0;
}

// The fusions at one level of single linkage that several pairs of groups
// reach (ties), in the order of the pair search. `node` holds the positions
// of the groups that meet at this level, ascending; `joins` the pairs of
// them (indices into node) that the pointer representation joins, which
// link each cluster formed at this level; touch(u, v) says whether groups u
// and v have a pair of members at this very value. Calls fuse(u, v), u < v,
// for each fusion.
template <class Touch, class Fuse>
void FuseTiedLevel(const std::vector<int>& node, const std::vector<std::pair<int, int>>& joins,
                   const Touch& touch, const Fuse& fuse) {
    const int m = static_cast<int>(node.size());
    std::vector<int> cluster(m);
    for (int v = 0; v < m; v++) cluster[v] = v;
    auto top = [&](int v) {
        while (cluster[v] != v) v = cluster[v] = cluster[cluster[v]];
        return v;
    };
    for (const auto& j : joins) {
        int u = top(j.first), v = top(j.second);
        cluster[std::max(u, v)] = std::min(u, v);
    }
    // Each cluster numbers its groups from 0 in position order and keeps, as
    // rows of bits, which of them each touches, and which are left.
    std::vector<int> which(m), local(m), size(m, 0), left(m, 0), start(m), member(m);
    for (int v = 0; v < m; v++) {
        which[v] = top(v);
        local[v] = size[which[v]]++;
    }
    std::vector<size_t> words(m), at(m);
    size_t total = 0;
    int offset = 0;
    for (int c = 0; c < m; c++)
        if (which[c] == c) {
            words[c] = (static_cast<size_t>(size[c]) + 63) / 64;
            at[c] = total;
            total += words[c] * (size[c] + 1);
            start[c] = offset;
            offset += size[c];
            left[c] = size[c];
        }
    for (int v = 0; v < m; v++) member[start[which[v]] + local[v]] = v;
    std::vector<uint64_t> bits(total, 0);
    auto row = [&](int c, int l) { return bits.data() + at[c] + words[c] * l; };
    auto alive = [&](int c) { return bits.data() + at[c] + words[c] * size[c]; };
    auto set = [](uint64_t* r, int l) { r[l / 64] |= uint64_t(1) << (l % 64); };
    for (int v = 0; v < m; v++) {
        int c = which[v];
        set(alive(c), local[v]);
        for (int l = 0; l < local[v]; l++)
            if (touch(member[start[c] + l], v)) {
                set(row(c, l), local[v]);
                set(row(c, local[v]), l);
            }
    }
    // The first group that touches another is never passed by a later one:
    // the groups before it touch none, and a fusion only lends it the
    // touches of a group after it. Its first touch that is left fuses with it.
    for (int v = 0; v < m;) {
        const int c = which[v], l = local[v];
        uint64_t* r = row(c, l);
        uint64_t* in = alive(c);
        if (left[c] < 2 || !(in[l / 64] >> (l % 64) & 1)) {
            v++;
            continue;
        }
        int q = -1;
        for (size_t w = 0; w < words[c] && q < 0; w++) {
            uint64_t candidates = r[w] & in[w];
            if (w == static_cast<size_t>(l / 64)) candidates &= ~(uint64_t(1) << (l % 64));
            if (candidates) q = static_cast<int>(w * 64) + __builtin_ctzll(candidates);
        }
        const uint64_t* rq = row(c, q);
        for (size_t w = 0; w < words[c]; w++) r[w] |= rq[w];
        in[q / 64] &= ~(uint64_t(1) << (q % 64));
        left[c]--;
        fuse(v, member[start[c] + q]);
    }
}

// Single linkage without a working matrix: the pointer representation says
// which groups fuse at each level, and the fusions are made in the order of
// the pair search (the first best pair of positions in row-major order, a
// group at the position of its first entity). A level that one pair of
// groups reaches gives one fusion; ties go through FuseTiedLevel. False,
// with nothing written, when the matrix holds values the pointer
// representation does not order.
bool SingleLinkage(int n, double** matrix, clusterReport* records, bool smallest, bool rootLevel) {
    std::vector<int> pointer(n);
    std::vector<double> level(n), mu(n);
    if (!(smallest ? PointerRepresentation<true>(n, matrix, pointer.data(), level.data(), mu.data())
                   : PointerRepresentation<false>(n, matrix, pointer.data(), level.data(), mu.data())))
        return false;
    std::vector<int> order(n - 1);
    for (int j = 1; j < n; j++) order[j - 1] = j;
    std::sort(order.begin(), order.end(),
              [&](int x, int y) { return smallest ? level[x] < level[y] : level[x] > level[y]; });

    // Groups as trees of entities whose root is their position.
    std::vector<int> parent(n);
    for (int e = 0; e < n; e++) parent[e] = e;
    auto find = [&](int e) {
        while (parent[e] != e) e = parent[e] = parent[parent[e]];
        return e;
    };
    MemberLists groups(n);
    std::vector<double> nodeLevel(n);
    int k = 0;
    auto fuse = [&](int a, int b, double x) {
        LinkageRecord(n, ++k, a, b, rootLevel ? std::sqrt(x) : x, groups, nodeLevel.data(), records);
        parent[b] = a;
    };

    std::vector<int> slot(n), node;
    std::vector<std::pair<int, int>> joins;
    for (int s = 0; s < n - 1;) {
        const double x = level[order[s]];
        int end = s + 1;
        while (end < n - 1 && level[order[end]] == x) end++;
        if (end - s == 1) {
            int a = find(order[s]), b = find(pointer[order[s]]);
            fuse(std::min(a, b), std::max(a, b), x);
            s = end;
            continue;
        }
        node.clear();
        for (int t = s; t < end; t++) {
            node.push_back(find(order[t]));
            node.push_back(find(pointer[order[t]]));
        }
        std::sort(node.begin(), node.end());
        node.erase(std::unique(node.begin(), node.end()), node.end());
        for (size_t v = 0; v < node.size(); v++) slot[node[v]] = static_cast<int>(v);
        joins.clear();
        for (int t = s; t < end; t++) joins.emplace_back(slot[find(order[t])], slot[find(pointer[order[t]])]);
        auto touch = [&](int u, int v) {
            for (int e = groups.First(node[u]); e != -1; e = groups.After(e))
                for (int f = groups.First(node[v]); f != -1; f = groups.After(f))
                    if ((e < f ? matrix[e][f] : matrix[f][e]) == x) return true;
            return false;
        };
        FuseTiedLevel(node, joins, touch, [&](int u, int v) { fuse(node[u], node[v], x); });
        s = end;
    }
    return true;
}

// The common frame of Ward and constrained Ward. `input` is read for the
// group sums; the working matrix holds squared centroid distances.
void SumSqFrame(int n, double** input, const UpperFlags* adjacency, clusterReport* records,
                bool isSquared) {
    if (n < 2) return;
    auto square = [isSquared](double x) { return isSquared ? x : x * x; };
    Upper d = PackedCopy(n, input, square);
    auto squared = [&](int e1, int e2) { return square(e1 < e2 ? input[e1][e2] : input[e2][e1]); };
    double* sums = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) {
        return WardIncrease(groups.Size(i), d(i, j), groups.Size(j));
    };
    auto all = [](int, int) { return true; };
    auto adjacent = [&](int i, int j) { return (*adjacency)(i, j); };

    PairSearch search(n, true);
    if (adjacency)
        search.Init(value, adjacent);
    else
        search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        if (!search.Best(a, b)) search.BestOfAll(a, b, value);
        double na = groups.Size(a), nb = groups.Size(b);
        double dab = d(a, b);

        double sum = sums[a] + sums[b];
        for (int e1 = groups.First(a); e1 != -1; e1 = groups.After(e1))
            for (int e2 = groups.First(b); e2 != -1; e2 = groups.After(e2)) sum += squared(e1, e2);

        clusterReport& r = records[k - 1];
        groups.Describe(a, b, records, k - 1);
        r.node = n + k;
        r.level = sum / (na + nb);
        r.criterion = WardIncrease(na, dab, nb);
        r.branchFirst = r.level - sums[a] / na;
        r.branchSecond = r.level - sums[b] / nb;

        if (adjacency) {
            for (int g = search.Head(); g != -1; g = search.Next(g)) {
                if (g == a || g == b) continue;
                char& ga = g < a ? adjacency->At(g, a) : adjacency->At(a, g);
                char gb = g < b ? adjacency->At(g, b) : adjacency->At(b, g);
                if (gb > ga) ga = gb;
            }
        }
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            d.Set(g, a, WardValue(d.Get(g, a), d.Get(g, b), dab, na, nb));
        }
        sums[a] = sum;
        groups.Join(a, b);
        if (adjacency)
            search.Fused(a, b, value, adjacent);
        else
            search.Fused(a, b, value, all);
    }
    free1D(sums);
    Release(d);
}

}  // namespace

clusterReport* NewClusterReports(int n, int p, bool factorial) {
    int count = n > 1 ? n - 1 : 0;
    clusterReport* records =
        static_cast<clusterReport*>(dim1D(sizeof(clusterReport), count > 0 ? count : 1));
    // The member lists share one block, zero-filled by the team: the
    // fusions write it piece by piece, and its first writes would map it
    // page by page on one thread, at a cost several times the writes'.
    int* members = nullptr;
    if (count > 0)
        members = static_cast<int*>(dim1DUnfilled(sizeof(int) * static_cast<unsigned long long>(n), count));
#pragma omp parallel for schedule(static) if (static_cast<double>(n) * count > 1e6)
    for (int k = 0; k < count; k++) memset(members + static_cast<size_t>(k) * n, 0, sizeof(int) * static_cast<size_t>(n));
    for (int k = 0; k < count; k++) {
        records[k].members = members + static_cast<size_t>(k) * n;
        if (factorial) {
            records[k].weightsAxis1 = dim1DT<double>(2);
            records[k].weightsAxis2 = dim1DT<double>(2);
            records[k].scoresAxis1 = dim1DT<double>(p > 0 ? p : 1);
            records[k].scoresAxis2 = dim1DT<double>(p > 0 ? p : 1);
        }
    }
    return records;
}

void FreeClusterReports(clusterReport* records, int n) {
    if (!records) return;
    if (n > 1) free1D(records[0].members);
    for (int k = 0; k < n - 1; k++) {
        free1D(records[k].weightsAxis1);
        free1D(records[k].weightsAxis2);
        free1D(records[k].scoresAxis1);
        free1D(records[k].scoresAxis2);
    }
    free1D(records);
}

void LinkageCluster(int n, double** matrix, clusterReport* records, bool isDissimilarity,
                    bool isSquared, int method, bool workOnCopy) {
    if (n < 2) return;
    if (method == 1 && SingleLinkage(n, matrix, records, isDissimilarity, isDissimilarity && isSquared))
        return;
    Upper w;
    bool rootFirst = isDissimilarity && isSquared && (method == 4 || method == 5);
    if (workOnCopy)
        w = PackedCopy(n, matrix, [](double x) { return x; });
    else
        w = ViewOf(n, matrix);
    // Averages of squared dissimilarities are not what the user asked for:
    // these two methods work on the rooted values throughout.
    if (rootFirst)
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) w(i, j) = std::sqrt(w(i, j));
    bool rootLevel = isDissimilarity && isSquared && (method == 1 || method == 2);

    double* nodeLevel = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) { return w(i, j); };
    auto all = [](int, int) { return true; };
    PairSearch search(n, isDissimilarity);
    search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        search.Best(a, b);
        double x = w(a, b);
        double na = groups.Size(a), nb = groups.Size(b);
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            w.Set(g, a, LinkageValue(method, isDissimilarity, w.Get(g, a), w.Get(g, b), na, nb));
        }
        LinkageRecord(n, k, a, b, rootLevel ? std::sqrt(x) : x, groups, nodeLevel, records);
        search.Fused(a, b, value, all);
    }
    free1D(nodeLevel);
    Release(w);
}

void SumSqCluster(int n, double** dissimilarities, clusterReport* records, bool isSquared) {
    SumSqFrame(n, dissimilarities, nullptr, records, isSquared);
}

void SumSqClusterRestrained(int n, double** dissimilarities, int** adjacency,
                            clusterReport* records, bool isSquared) {
    if (n < 2) return;
    unsigned long long total = static_cast<unsigned long long>(n) * (n - 1) / 2;
    UpperFlags flags;
    flags.packed = static_cast<char*>(dim1D(total, 1));
    flags.offset = dim1DT<unsigned long long>(n);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        flags.offset[i] = offset;
        for (int j = i + 1; j < n; j++) flags.packed[offset + (j - i - 1)] = adjacency[i][j] != 0;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    SumSqFrame(n, dissimilarities, &flags, records, isSquared);
    free1D(flags.packed);
    free1D(flags.offset);
}

void HierFactorialClustering(int n, int p, double** data, clusterReport* records) {
    if (n < 2) return;
    double** x = dim2DT<double>(n, p);
    for (int i = 0; i < n; i++)
        for (int t = 0; t < p; t++) x[i][t] = data[i][t];
    CenterRowsMV(n, p, x, x);
    NormalizeRowsMV(n, p, x, x);

    // Per pair (lower position first): both eigenvalues and both weight pairs.
    Upper first = PackedUpper(n), second = PackedUpper(n);
    Upper w1a = PackedUpper(n), w1b = PackedUpper(n), w2a = PackedUpper(n), w2b = PackedUpper(n);
    auto analyse = [&](int i, int j) {
        double e1, e2, v1[2], v2[2];
        HierFactorialEigen(p, x[i], x[j], &e1, &e2, v1, v2);
        first(i, j) = e1;
        second(i, j) = e2;
        w1a(i, j) = v1[0];
        w1b(i, j) = v1[1];
        w2a(i, j) = v2[0];
        w2b(i, j) = v2[1];
    };
    // Every pair is independent of the others: the team shares the rows.
#pragma omp parallel for schedule(dynamic, 16)
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) analyse(i, j);

    MemberLists groups(n);
    auto value = [&](int i, int j) { return second(i, j); };
    auto all = [](int, int) { return true; };
    PairSearch search(n, true);
    search.Init(value, all);
    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        search.Best(a, b);
        clusterReport& r = records[k - 1];
        groups.Describe(a, b, records, k - 1);
        r.level = second(a, b);
        r.criterion = first(a, b);
        r.weightsAxis1[0] = w1a(a, b);
        r.weightsAxis1[1] = w1b(a, b);
        r.weightsAxis2[0] = w2a(a, b);
        r.weightsAxis2[1] = w2b(a, b);
        for (int t = 0; t < p; t++) {
            bool present = x[a][t] != MISSING && x[b][t] != MISSING;
            r.scoresAxis1[t] = present ? r.weightsAxis1[0] * x[a][t] + r.weightsAxis1[1] * x[b][t] : 0;
            r.scoresAxis2[t] = present ? r.weightsAxis2[0] * x[a][t] + r.weightsAxis2[1] * x[b][t] : 0;
        }
        // The group is represented by its merged profile on the first axis.
        for (int t = 0; t < p; t++) x[a][t] = r.scoresAxis1[t];
        groups.Join(a, b);
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            if (g < a)
                analyse(g, a);
            else
                analyse(a, g);
        }
        search.Fused(a, b, value, all);
    }
    Release(w2b);
    Release(w2a);
    Release(w1b);
    Release(w1a);
    Release(second);
    Release(first);
    free2DT(x, n);
}

namespace {

// Removes position b (a < b excluded) from a compacted square matrix: the row
// pointer of b goes to the end, later rows and columns move down one place.
template <class T>
void RemovePosition(int m, int b, T** matrix) {
    for (int i = 0; i < m; i++)
        for (int j = b + 1; j < m; j++) matrix[i][j - 1] = matrix[i][j];
    T* rowB = matrix[b];
    for (int i = b; i < m - 1; i++) matrix[i] = matrix[i + 1];
    matrix[m - 1] = rowB;
}

void JoinSizes(int m, int* sizes, int a, int b) {
    sizes[a] += sizes[b];
    for (int i = b; i < m - 1; i++) sizes[i] = sizes[i + 1];
}

template <class T>
T& UpperAt(T** matrix, int i, int j) {
    return i < j ? matrix[i][j] : matrix[j][i];
}

}  // namespace

void LinkageFusion(int m, int* sizes, int a, int b, double** matrix, bool isDissimilarity,
                   int method) {
    double na = sizes[a], nb = sizes[b];
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = LinkageValue(method, isDissimilarity, ga, UpperAt(matrix, g, b), na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void FusionMatrix(int m, int* sizes, int a, int b, double** matrix) {
    double na = sizes[a], nb = sizes[b];
    double dab = UpperAt(matrix, a, b);
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = WardValue(ga, UpperAt(matrix, g, b), dab, na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void TopologyFusion(int m, int* sizes, int a, int b, int** adjacency) {
    (void)sizes;
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        int& ga = UpperAt(adjacency, g, a);
        ga = Fmax(ga, UpperAt(adjacency, g, b));
    }
    RemovePosition(m, b, adjacency);
}
