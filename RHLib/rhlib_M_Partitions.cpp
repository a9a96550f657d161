// ===========================================================================
// Partitions and Newick text
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

// Position in `members` where the second part begins. Sought from both ends
// at once, it costs the smaller part's size: the groups of a chained tree
// (single linkage) grow one entity at a time.
int SecondPartStart(const clusterReport& rec) {
    for (int i = 0, j = rec.nMembers - 1; i <= j; i++, j--) {
        if (rec.members[i] == rec.lastOfFirst) return i + 1;
        if (rec.members[j] == rec.lastOfFirst) return j + 1;
    }
    return rec.nMembers + 1;
}

// For each record, the records that formed its two parts (-1 for a single
// entity), found from the member lists: a part is whatever group held its
// first entity just before the fusion. A group's first entity stays first
// in every group it joins (a fusion lists its first part first), so the
// last record that began with an entity formed the group that entity
// begins (walking every member of every record instead costs about
// n x n / 2 steps on a chained dendrogram).
void ChildRecords(int n, const clusterReport* records, int* childFirst, int* childSecond) {
    std::vector<int> formed(n > 0 ? n : 1, -1);
    for (int r = 0; r < n - 1; r++) {
        const clusterReport& rec = records[r];
        int p = SecondPartStart(rec);
        childFirst[r] = formed[rec.members[0] - 1];
        childSecond[r] = p < rec.nMembers ? formed[rec.members[p] - 1] : -1;
        formed[rec.members[0] - 1] = r;
    }
}

// The order in which a cut applies the records. Ward's levels are not
// monotone in fusion order, so for method 3 the records are sorted by level
// (the exchange sort below decides ties). A group can only form after its
// parts: a record sorts by the highest level in its subtree, which is its own
// level whenever the levels grow towards the root (always for Euclidean
// input), and parts that tie with their group are placed before it.
void CutOrder(int n, const clusterReport* records, int method, int* order) {
    int m = n - 1;
    for (int r = 0; r < m; r++) order[r] = r;
    if (method != 3 || m < 2) return;

    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);
    double* key = dim1DT<double>(m);
    for (int r = 0; r < m; r++) {
        double k = records[r].level;
        if (childFirst[r] >= 0 && key[childFirst[r]] > k) k = key[childFirst[r]];
        if (childSecond[r] >= 0 && key[childSecond[r]] > k) k = key[childSecond[r]];
        key[r] = k;
    }
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            if (key[order[i]] > key[order[j]]) std::swap(order[i], order[j]);

    // Parts before their group (they can only tie with it here).
    char* placed = dim1DT<char>(m);
    int* sorted = dim1DT<int>(m);
    int* stack = dim1DT<int>(m);
    int count = 0;
    for (int i = 0; i < m; i++) {
        int depth = 0;
        if (!placed[order[i]]) stack[depth++] = order[i];
        while (depth > 0) {
            int r = stack[depth - 1];
            int c1 = childFirst[r], c2 = childSecond[r];
            if (c1 >= 0 && !placed[c1]) {
                stack[depth++] = c1;
            } else if (c2 >= 0 && !placed[c2]) {
                stack[depth++] = c2;
            } else {
                placed[r] = 1;
                sorted[count++] = r;
                depth--;
            }
        }
    }
    for (int i = 0; i < m; i++) order[i] = sorted[i];
    free1D(stack);
    free1D(sorted);
    free1D(placed);
    free1D(key);
    free1D(childSecond);
    free1D(childFirst);
}

// Applies the records order[0 .. count-1]: every entity of a new group takes
// the number of the group's first member.
void ApplyRecords(int n, const clusterReport* records, const int* order, int count, int* labels) {
    for (int e = 0; e < n; e++) labels[e] = e + 1;
    for (int i = 0; i < count; i++) {
        const clusterReport& rec = records[order[i]];
        for (int j = 1; j < rec.nMembers; j++) labels[rec.members[j] - 1] = rec.members[0];
    }
}

int ClampGroups(int n, int k) { return k < 1 ? 1 : (k > n ? n : k); }

}  // namespace

void GetClusterPartitionLevel(int n, int k, int* partition, double* levelOut,
                              clusterReport* records, int method) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    ApplyRecords(n, records, order, n - k, partition);
    if (levelOut) *levelOut = k == n ? 0.0 : records[order[n - k - 1]].level;
    RenamePartitionLabels(n, k, partition);
    free1D(order);
}

void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* records, int method) {
    GetClusterPartitionLevel(n, k, partition, nullptr, records, method);
}

void ForEachClusterPartition(int n, clusterReport* records, int method,
                             const std::function<void(int, const int*, double)>& visit) {
    if (n < 2) return;
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    // From one group down: undoing the last applied record splits one group
    // into its two parts; the second part takes the number of its first
    // member as its label. Groups are numbered 1, 2, ... in the order of
    // their labels: count[v], the number of groups labelled v or less, is
    // kept as each new label comes, so that cutting the dendrogram at every
    // level costs little more than writing the partitions out.
    int* labels = dim1DT<int>(n);
    int* partition = dim1DT<int>(n);
    int* count = dim1DT<int>(n + 1);
    // One group: every entity carries the label of the first member of the
    // record applied last, the whole dendrogram's (applying every record
    // would write about n x n / 2 labels for a chained one).
    const clusterReport& root = records[order[n - 2]];
    if (root.nMembers == n)
        for (int e = 0; e < n; e++) labels[e] = root.members[0];
    else
        ApplyRecords(n, records, order, n - 1, labels);
    for (int e = 0; e < n; e++) count[labels[e]] = 1;
    for (int v = 1; v <= n; v++) count[v] += count[v - 1];
    for (int k = 2; k <= n; k++) {
        const clusterReport& rec = records[order[n - k]];
        int p = SecondPartStart(rec);
        if (p < rec.nMembers) {
            const int label = rec.members[p];
            for (int j = p; j < rec.nMembers; j++) labels[rec.members[j] - 1] = label;
            for (int v = label; v <= n; v++) count[v]++;
        }
        for (int e = 0; e < n; e++) partition[e] = count[labels[e]];
        visit(k, partition, k == n ? 0.0 : records[order[n - k - 1]].level);
    }
    free1D(count);
    free1D(partition);
    free1D(labels);
    free1D(order);
}

int GetClusterPartition(int n, int k, int* partition, clusterReport* records) {
    if (n < 1) return 0;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, 0, order);
    ApplyRecords(n, records, order, n - k, partition);
    RenamePartitionLabels(n, k, partition);
    free1D(order);
    return k;
}

void GetClusterPartitionWhich(int n, int k, int* partition, int* pair, clusterReport* records) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    GetClusterPartition(n, k, partition, records);
    pair[0] = pair[1] = 0;
    if (k < 2) return;
    int* fewer = dim1DT<int>(n);
    GetClusterPartition(n, k - 1, fewer, records);
    for (int e = 0; e < n; e++)
        if (fewer[e] != partition[e]) {
            pair[0] = fewer[e];
            pair[1] = partition[e];
            break;
        }
    free1D(fewer);
}

treeNode* NewNode(int number) {
    treeNode* node = static_cast<treeNode*>(dim1D(sizeof(treeNode), 1));
    node->number = number;
    node->left = node->right = node->parent = nullptr;
    return node;
}

void TrimRese(int n, int k, const int* partition, double** matrix, double** out) {
    int* first = dim1DT<int>(k > 0 ? k : 1);
    for (int g = 0; g < k; g++) first[g] = -1;
    for (int e = 0; e < n; e++) {
        int g = partition[e] - 1;
        if (g >= 0 && g < k && first[g] < 0) first[g] = e;
    }
    for (int i = 0; i < k; i++)
        for (int j = i; j < k; j++) {
            int a = first[i], b = first[j];
            if (a < 0 || b < 0) continue;
            out[i][j] = a <= b ? matrix[a][b] : matrix[b][a];
        }
    free1D(first);
}

namespace {

// A label as a Newick name: kept as it is unless it holds punctuation of the
// format, a quote or a blank; then it goes between single quotes, with its
// quotes doubled.
void AppendNewickLabel(std::string& text, const char* label) {
    bool quote = *label == '\0';
    for (const char* c = label; *c; c++)
        if (strchr("(),:;[]'", *c) || isspace(static_cast<unsigned char>(*c))) quote = true;
    if (!quote) {
        text += label;
        return;
    }
    text += '\'';
    for (const char* c = label; *c; c++) {
        if (*c == '\'') text += '\'';
        text += *c;
    }
    text += '\'';
}

void AppendLength(std::string& text, double length) {
    // std::to_chars at precision 6 writes what "%g" writes.
    char number[64] = {':'};
    text.append(number, std::to_chars(number + 1, number + sizeof number, length, std::chars_format::general, 6).ptr);
}

}  // namespace

void NewickFormat(int n, const clusterReport* records, char** labels, bool withLengths,
                  std::string& text) {
    auto entity = [&](int e, bool root, double length) {
        if (labels && labels[e - 1]) {
            AppendNewickLabel(text, labels[e - 1]);
        } else {
            char number[16];
            snprintf(number, sizeof number, "%d", e);
            text += number;
        }
        if (withLengths && !root) AppendLength(text, length);
    };
    if (n < 1) return;
    if (n == 1) {
        entity(1, true, 0.0);
        return;
    }
    int m = n - 1;
    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);

    // Depth-first from the root, the first part before the second: a record
    // is opened, its parts are written, then it is closed with its length.
    struct Item {
        int record;      // -1: an entity
        int entity;      // when record is -1
        int stage;       // 0 open, 1 between the parts, 2 close
        double length;
    };
    Item* stack = static_cast<Item*>(dim1D(sizeof(Item), 2 * n));
    int depth = 0;
    stack[depth++] = {m - 1, 0, 0, 0.0};
    while (depth > 0) {
        Item& it = stack[depth - 1];
        if (it.record < 0) {
            entity(it.entity, false, it.length);
            depth--;
            continue;
        }
        const clusterReport& rec = records[it.record];
        int r = it.record;
        if (it.stage == 0) {
            text += '(';
            it.stage = 1;
            int c = childFirst[r];
            stack[depth++] = {c, c < 0 ? rec.members[0] : 0, 0, rec.branchFirst};
        } else if (it.stage == 1) {
            text += ',';
            it.stage = 2;
            int c = childSecond[r];
            int start = SecondPartStart(rec);
            stack[depth++] = {c, c < 0 ? rec.members[start] : 0, 0, rec.branchSecond};
        } else {
            text += ')';
            if (withLengths && r != m - 1) AppendLength(text, it.length);
            depth--;
        }
    }
    free1D(stack);
    free1D(childSecond);
    free1D(childFirst);
}
