// Partitions cut from the records of a hierarchical clustering, against
// hand-worked cuts and the union of the fusions; Newick text read back by a
// small parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clustering_util.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using namespace clustertest;

// ---------------------------------------------------------------------------
// Partitions
// ---------------------------------------------------------------------------

std::vector<int> Cut(int n, int k, Records& r, int method, double* level = nullptr) {
    std::vector<int> p(n);
    double l = -1;
    GetClusterPartitionLevel(n, k, p.data(), &l, r.get(), method);
    if (level) *level = l;
    std::vector<int> q(n);
    GetClusterPartitionNew(n, k, q.data(), r.get(), method);
    EXPECT_EQ(p, q);
    return p;
}

// Records written by hand: members, last of the first part, level.
void Fill(Records& r, const std::vector<std::pair<std::vector<int>, std::pair<int, double>>>& recs,
          int n) {
    for (size_t k = 0; k < recs.size(); k++) {
        clusterReport& c = r.get()[k];
        c.nMembers = recs[k].first.size();
        std::copy(recs[k].first.begin(), recs[k].first.end(), c.members);
        c.lastOfFirst = recs[k].second.first;
        c.level = recs[k].second.second;
        c.node = n + 1 + k;
    }
}

TEST(Partitions, CutsOfTheHandWorkedSingleLinkage) {
    Matrix d = Five();
    Records r(5);
    LinkageCluster(5, Rows(d), r.get(), true, false, 1, true);
    double level;
    EXPECT_EQ(Cut(5, 2, r, 1, &level), (std::vector<int>{1, 1, 2, 2, 2}));
    EXPECT_EQ(level, 4);
    EXPECT_EQ(Cut(5, 3, r, 1, &level), (std::vector<int>{1, 1, 2, 3, 3}));
    EXPECT_EQ(level, 3);
    EXPECT_EQ(Cut(5, 4, r, 1, &level), (std::vector<int>{1, 1, 2, 3, 4}));
    EXPECT_EQ(level, 2);
    EXPECT_EQ(Cut(5, 5, r, 1, &level), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(level, 0);
    // Group numbers follow the first members, wherever the fusions started.
    Matrix e({{0, 9, 9, 1}, {9, 0, 9, 9}, {9, 9, 0, 9}, {1, 9, 9, 0}});
    Records s(4);
    LinkageCluster(4, Rows(e), s.get(), true, false, 2, true);
    EXPECT_EQ(Cut(4, 3, s, 2), (std::vector<int>{1, 2, 3, 1}));
}

TEST(Partitions, WardCutsTheFusionsOfLowestLevel) {
    // {0,1} forms at 0.5 and 2 joins at 2.0, but {10,11.8} forms at 1.62
    // after them: three groups are {0,1}, {2} and {10,11.8}.
    Matrix d = Euclidean({{0}, {1}, {2}, {10}, {11.8}});
    Records r(5);
    SumSqCluster(5, Rows(d), r.get(), false);
    ASSERT_EQ(r.Members(1), (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(r.Members(2), (std::vector<int>{4, 5}));
    double level;
    EXPECT_EQ(Cut(5, 3, r, 3, &level), (std::vector<int>{1, 1, 2, 3, 3}));
    EXPECT_NEAR(level, 1.8 * 1.8 / 2, 1e-12);
    EXPECT_EQ(Cut(5, 2, r, 3, &level), (std::vector<int>{1, 1, 1, 2, 2}));
    EXPECT_DOUBLE_EQ(level, 2);
    // Other methods take the fusions in their order.
    EXPECT_EQ(Cut(5, 3, r, 7), (std::vector<int>{1, 1, 1, 2, 3}));
    // The records themselves are left as they were.
    EXPECT_EQ(r.Members(1), (std::vector<int>{1, 2, 3}));
}

TEST(Partitions, AGroupLowerThanItsPartIsCutAfterIt) {
    // Ward on a dissimilarity that breaks the triangle inequality can give a
    // group a lower level than one of its parts: {1,2} at 5, {1,2,3} at 3.
    // Every cut must still hold exactly k groups.
    Records r(4);
    Fill(r, {{{1, 2}, {1, 5.0}}, {{1, 2, 3}, {2, 3.0}}, {{1, 2, 3, 4}, {3, 8.0}}}, 4);
    double level;
    EXPECT_EQ(Cut(4, 3, r, 3, &level), (std::vector<int>{1, 1, 2, 3}));
    EXPECT_EQ(level, 5);
    EXPECT_EQ(Cut(4, 2, r, 3, &level), (std::vector<int>{1, 1, 1, 2}));
    EXPECT_EQ(level, 3);
}

// Partition by the first n-k fusions, by union of the member sets, numbered
// by first appearance in entity order.
std::vector<int> UnionCut(int n, int k, const Records& r) {
    std::vector<int> root(n);
    for (int e = 0; e < n; e++) root[e] = e;
    std::function<int(int)> find = [&](int e) { return root[e] == e ? e : root[e] = find(root[e]); };
    for (int j = 0; j < n - k; j++)
        for (int m : r.Members(j)) root[find(m - 1)] = find(r[j].members[0] - 1);
    std::map<int, int> number;
    std::vector<int> p(n);
    for (int e = 0; e < n; e++) {
        int g = find(e);
        if (!number.count(g)) number[g] = number.size() + 1;
        p[e] = number[g];
    }
    return p;
}

TEST(Partitions, EveryCutInOnePassMatchesTheUnionOfTheFusions) {
    int n = 40;
    Matrix d = Euclidean(RandomPoints(n, 2, 21));
    for (int method : {1, 2, 3, 4, 5, 7}) {
        SCOPED_TRACE(method);
        Records r(n);
        if (method == 3) {
            SumSqCluster(n, Rows(d), r.get(), false);
        } else if (method == 7) {
            auto adj = Chain(n);
            auto rows = IntRows(adj);
            SumSqClusterRestrained(n, Rows(d), rows.data(), r.get(), false);
        } else {
            LinkageCluster(n, Rows(d), r.get(), true, false, method, true);
        }
        int expectedK = 2;
        ForEachClusterPartition(n, r.get(), method, [&](int k, const int* p, double level) {
            ASSERT_EQ(k, expectedK++);
            std::vector<int> got(p, p + n);
            double l;
            EXPECT_EQ(got, Cut(n, k, r, method, &l)) << k;
            EXPECT_EQ(level, l);
            if (method != 3) {
                EXPECT_EQ(got, UnionCut(n, k, r)) << k;
            }
            EXPECT_EQ(*std::max_element(got.begin(), got.end()), k);
        });
        EXPECT_EQ(expectedK, n + 1);
    }
}

TEST(Partitions, WardOnANonMetricDissimilarityGivesNestedCutsOfKGroups) {
    int n = 30;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(0.05, 1);
    Matrix d(n, std::vector<double>(n));
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) d[i][j] = d[j][i] = u(gen);
    Records r(n);
    SumSqCluster(n, Rows(d), r.get(), false);
    std::vector<int> previous;
    ForEachClusterPartition(n, r.get(), 3, [&](int k, const int* p, double) {
        std::vector<int> got(p, p + n);
        int next = 1;
        for (int g : got) {  // 1..k by first appearance
            ASSERT_LE(g, next);
            if (g == next) next++;
        }
        ASSERT_EQ(next - 1, k);
        if (!previous.empty()) {  // k-1 groups are unions of the k groups
            std::map<int, int> coarse;
            for (int e = 0; e < n; e++) {
                auto it = coarse.emplace(got[e], previous[e]).first;
                ASSERT_EQ(it->second, previous[e]);
            }
        }
        previous = got;
    });
}

TEST(Partitions, LibraryCutsWhichPairAndRepresentatives) {
    Matrix d = Five();
    Records r(5);
    LinkageCluster(5, Rows(d), r.get(), true, false, 1, true);
    std::vector<int> p(5);
    int pair[2];
    GetClusterPartitionWhich(5, 3, p.data(), pair, r.get());
    EXPECT_EQ(p, (std::vector<int>{1, 1, 2, 3, 3}));
    // The next fusion joins {3} and {4,5}: groups 2 and 3.
    EXPECT_EQ(pair[0], 2);
    EXPECT_EQ(pair[1], 3);
    EXPECT_EQ(GetClusterPartition(5, 3, p.data(), r.get()), 3);

    Matrix out(3, std::vector<double>(3, -1));
    Rows o(out);
    TrimRese(5, 3, p.data(), Rows(d), o);
    // Representatives 1, 3 and 4.
    EXPECT_EQ(out, Matrix({{0, 6, 10}, {-1, 0, 4}, {-1, -1, 0}}));

    treeNode* node = NewNode(7);
    EXPECT_EQ(node->number, 7);
    EXPECT_EQ(node->left, nullptr);
    EXPECT_EQ(node->right, nullptr);
    EXPECT_EQ(node->parent, nullptr);
    free1D(node);
}

// ---------------------------------------------------------------------------
// Newick text
// ---------------------------------------------------------------------------

// A small Newick reader: a node is a leaf label or "(" node "," node ")",
// optionally followed by ":" length. Labels may be quoted ('' is a quote).
struct Tree {
    std::string label;
    double length = std::numeric_limits<double>::quiet_NaN();
    std::vector<Tree> children;
};

class NewickReader {
public:
    explicit NewickReader(const std::string& text) : s_(text) {}
    bool Read(Tree& t) {
        if (!Node(t)) return false;
        return pos_ + 1 == s_.size() && s_[pos_] == ';';
    }

private:
    bool Node(Tree& t) {
        if (At('(')) {
            pos_++;
            do {
                t.children.emplace_back();
                if (!Node(t.children.back())) return false;
            } while (At(',') && ++pos_);
            if (!At(')')) return false;
            pos_++;
        } else if (At('\'')) {
            pos_++;
            for (;;) {
                if (pos_ >= s_.size()) return false;
                if (s_[pos_] == '\'') {
                    if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                        t.label += '\'';
                        pos_ += 2;
                        continue;
                    }
                    pos_++;
                    break;
                }
                t.label += s_[pos_++];
            }
        } else {
            while (pos_ < s_.size() && !strchr("(),:;[]' ", s_[pos_])) t.label += s_[pos_++];
            if (t.label.empty()) return false;
        }
        if (At(':')) {
            size_t used = 0;
            t.length = std::stod(s_.substr(pos_ + 1), &used);
            pos_ += 1 + used;
        }
        return true;
    }
    bool At(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
    std::string s_;
    size_t pos_ = 0;
};

std::set<std::string> Leaves(const Tree& t) {
    if (t.children.empty()) return {t.label};
    std::set<std::string> all;
    for (const Tree& c : t.children) {
        std::set<std::string> s = Leaves(c);
        all.insert(s.begin(), s.end());
    }
    return all;
}

// Every inner node as its set of leaves, with the length above it.
void Clades(const Tree& t, std::map<std::set<std::string>, double>& out) {
    if (t.children.empty()) return;
    EXPECT_EQ(t.children.size(), 2u);
    out[Leaves(t)] = t.length;
    for (const Tree& c : t.children) Clades(c, out);
}

TEST(Newick, TheThreeEntityExample) {
    Matrix d({{0, 1, 3}, {1, 0, 3}, {3, 3, 0}});
    Records r(3);
    LinkageCluster(3, Rows(d), r.get(), true, false, 1, true);
    const char* names[] = {"a", "b", "e"};
    std::string text = "tree ";
    NewickFormat(3, r.get(), const_cast<char**>(names), true, text);
    EXPECT_EQ(text, "tree ((a:1,b:1):2,e:3)");
    std::string plain;
    NewickFormat(3, r.get(), const_cast<char**>(names), false, plain);
    EXPECT_EQ(plain, "((a,b),e)");
    std::string one;
    NewickFormat(1, nullptr, const_cast<char**>(names), true, one);
    EXPECT_EQ(one, "a");
}

TEST(Newick, ReadBackGivesTheSameTree) {
    int n = 25;
    Matrix d = Euclidean(RandomPoints(n, 3, 8));
    std::vector<std::string> names;
    for (int i = 0; i < n; i++) names.push_back("u" + std::to_string(i + 1));
    names[3] = "Carex (nigra)";
    names[7] = "it's";
    names[9] = "a,b:c;[d]";
    std::vector<char*> labels;
    for (auto& s : names) labels.push_back(&s[0]);
    for (int method : {3, 4}) {
        Records r(n);
        if (method == 3)
            SumSqCluster(n, Rows(d), r.get(), false);
        else
            LinkageCluster(n, Rows(d), r.get(), true, false, method, true);
        std::string text;
        NewickFormat(n, r.get(), labels.data(), true, text);
        Tree t;
        ASSERT_TRUE(NewickReader(text + ";").Read(t)) << text;
        EXPECT_TRUE(std::isnan(t.length));  // the root carries no length
        std::map<std::set<std::string>, double> clades;
        Clades(t, clades);
        ASSERT_EQ(clades.size(), static_cast<size_t>(n - 1));
        // Each fusion is a clade; the length above it is the branch length of
        // the fusion that joined it.
        std::map<std::set<std::string>, int> recordOf;
        for (int k = 0; k < n - 1; k++) {
            std::set<std::string> members;
            for (int m : r.Members(k)) members.insert(names[m - 1]);
            ASSERT_EQ(clades.count(members), 1u) << "record " << k + 1;
            recordOf[members] = k;
        }
        for (int k = 0; k < n - 1; k++) {
            std::vector<int> m = r.Members(k);
            size_t p = std::find(m.begin(), m.end(), r[k].lastOfFirst) - m.begin() + 1;
            std::set<std::string> first, second;
            for (size_t i = 0; i < m.size(); i++) (i < p ? first : second).insert(names[m[i] - 1]);
            if (first.size() > 1) {
                EXPECT_NEAR(clades[first], r[k].branchFirst, 1e-5 * r[k].level);
            }
            if (second.size() > 1) {
                EXPECT_NEAR(clades[second], r[k].branchSecond, 1e-5 * r[k].level);
            }
        }
        EXPECT_NE(text.find("'Carex (nigra)'"), std::string::npos);
        EXPECT_NE(text.find("'it''s'"), std::string::npos);
        EXPECT_NE(text.find("'a,b:c;[d]'"), std::string::npos);
    }
}

}  // namespace
