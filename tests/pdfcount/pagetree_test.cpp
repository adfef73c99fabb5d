// The page-tree rules every route shares, on a tree held in a map: which
// /Count is an answer, and how leaves are counted when it is not.
#include "pagetree.h"

#include <gtest/gtest.h>

#include <map>

namespace brastel {
namespace {

// Objects by number: a node lists its kids, a page lists none; numbers that
// are not in the map are no dictionaries, -1 cannot be read, and a node's
// list breaks off where it says -2.
struct MapTree {
    using Item = int;
    using Id = int;
    struct Kids {
        std::vector<int> list;
        std::size_t next = 0;
        KidStep Next(int& kid) {
            if (next == list.size()) return KidStep::End;
            kid = list[next++];
            return kid == -2 ? KidStep::Broken : KidStep::Kid;
        }
    };
    std::map<int, std::vector<int>> nodes;
    std::set<int> pages;
    int visits = 0;

    TreeItem Visit(const int& kid, std::optional<int>& id, Kids& kids) {
        ++visits;
        if (kid == -1) return TreeItem::Broken;
        if (pages.count(kid)) return TreeItem::Leaf;
        const auto it = nodes.find(kid);
        if (it == nodes.end()) return TreeItem::Skip;
        id = kid;
        kids.list = it->second;
        return TreeItem::Node;
    }
    std::optional<std::int64_t> Count(int root) {
        return CountLeaves(*this, std::optional<int>(root), Kids{nodes.at(root)}, 1000);
    }
};

TEST(PageTree, RootCountDecidesWhenPlausible) {
    auto objects = [](std::size_t have) { return [have](std::size_t n) { return n <= have; }; };
    EXPECT_EQ(JudgeRootCount({CountClaim::Whole, 7}, objects(10)), CountRule::Answer);
    EXPECT_EQ(JudgeRootCount({CountClaim::Whole, 0}, objects(10)), CountRule::Answer);
    EXPECT_EQ(JudgeRootCount({CountClaim::Whole, 11}, objects(10)), CountRule::Leaves);
    EXPECT_EQ(JudgeRootCount({CountClaim::Whole, -1}, objects(10)), CountRule::Leaves);
    EXPECT_EQ(JudgeRootCount({CountClaim::Whole, std::int64_t{1} << 31}, objects(SIZE_MAX)), CountRule::Leaves);
    EXPECT_EQ(JudgeRootCount({CountClaim::Fraction, 0}, objects(10)), CountRule::Leaves);
    EXPECT_EQ(JudgeRootCount({CountClaim::Missing, 0}, objects(10)), CountRule::Leaves);
    EXPECT_EQ(JudgeRootCount({CountClaim::NotNumber, 0}, objects(10)), CountRule::NoCount);
}

TEST(PageTree, LeavesAsReadersCountThem) {
    MapTree t;
    t.pages = {10, 11, 12};
    // A kid named twice counts twice; a non-dictionary kid is ignored.
    t.nodes[1] = {10, 11, 10, 99};
    EXPECT_EQ(t.Count(1), 3);
    // A node reached along two paths is shared, not a loop: both count.
    t.nodes[1] = {2, 3};
    t.nodes[2] = {4, 12};
    t.nodes[3] = {4};
    t.nodes[4] = {10, 11};
    EXPECT_EQ(t.Count(1), 5);
    // A node below itself is a loop: no count.
    t.nodes[4] = {10, 2};
    EXPECT_EQ(t.Count(1), std::nullopt);
    t.nodes[4] = {4};
    EXPECT_EQ(t.Count(1), std::nullopt);
    // Empty nodes give 0, an unreadable kid no count.
    t.nodes[4] = {};
    t.nodes[1] = {4};
    EXPECT_EQ(t.Count(1), 0);
    t.nodes[1] = {10, -1};
    EXPECT_EQ(t.Count(1), std::nullopt);
    // A /Kids array that cannot be read to its end gives no count, even
    // when it breaks off after every page it named.
    t.nodes[1] = {10, 2};
    t.nodes[2] = {11, -2};
    EXPECT_EQ(t.Count(1), std::nullopt);
}

TEST(PageTree, ClaimAboveTheObjectsStandsWhereTheReferencesHoldIt) {
    // Root 1 names page 10 three times and node 2 once; node 2 names page 10
    // twice: five leaves, six kid references followed, three objects.
    MapTree t;
    t.pages = {10};
    t.nodes[1] = {10, 10, 10, 2};
    t.nodes[2] = {10, 10};
    auto count = [&](CountClaim claim) {
        return CountByLeaves(claim, 3, t, std::optional<int>(1), MapTree::Kids{t.nodes.at(1)});
    };
    EXPECT_EQ(count({CountClaim::Whole, 5}), 5);
    EXPECT_EQ(count({CountClaim::Whole, 8}), 8);  // 3 objects + 6 kid references followed
    EXPECT_EQ(count({CountClaim::Whole, 9}), 9);
    EXPECT_EQ(count({CountClaim::Whole, 10}), 5);  // more than they could hold: the leaves
    EXPECT_EQ(count({CountClaim::Missing, 0}), 5);
    EXPECT_EQ(count({CountClaim::Fraction, 0}), 5);
    // The walk has room for what the root claims, never beyond its cap.
    EXPECT_EQ(LeafBudget(3, {CountClaim::Whole, 5000}), 4u * 3 + 1024 + 5000);
    EXPECT_EQ(LeafBudget(3, {CountClaim::Whole, INT32_MAX}), std::size_t{1} << 21);
    EXPECT_EQ(LeafBudget(3, {CountClaim::Missing, 0}), 4u * 3 + 1024);
}

TEST(PageTree, WalkStopsAtItsBudget) {
    // Each level names the next twice: 2^30 leaves from 31 objects.
    MapTree t;
    for (int level = 1; level <= 30; ++level) t.nodes[level] = {level + 1, level + 1};
    t.pages = {31};
    EXPECT_EQ(t.Count(1), std::nullopt);
    EXPECT_LE(t.visits, 1001);
    EXPECT_EQ(LeafBudget(10), 1064u);
    EXPECT_EQ(LeafBudget(std::size_t{1} << 30), std::size_t{1} << 21);
}

}  // namespace
}  // namespace brastel
