#include "framework/core/PointerList.h"

#include <gtest/gtest.h>

#include <vector>

using iplug::PointerList;

namespace {

std::vector<int> Values(const PointerList<int>& list)
{
    std::vector<int> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(*list.Get(i));
    return out;
}

class PointerListOfThree : public ::testing::Test
{
protected:
    int a = 1, b = 2, c = 3, x = 9;
    PointerList<int> list;
    void SetUp() override
    {
        list.Append(&a);
        list.Append(&b);
        list.Append(&c);
    }
};

TEST_F(PointerListOfThree, GetIsNullOutsideTheList)
{
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(2), &c);
    for (int index : {3, 1000, -1, -1000})
        EXPECT_EQ(list.Get(index), nullptr) << index;
    PointerList<int> empty;
    EXPECT_EQ(empty.Get(0), nullptr);
}

TEST_F(PointerListOfThree, InsertAtClampsTheIndex)
{
    struct Case
    {
        int index;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {-5, {9, 1, 2, 3}}, {0, {9, 1, 2, 3}}, {1, {1, 9, 2, 3}}, {3, {1, 2, 3, 9}}, {1000, {1, 2, 3, 9}},
    };
    for (const Case& k : cases) {
        PointerList<int> copy;
        for (int i = 0; i < list.Count(); ++i)
            copy.Append(list.Get(i));
        EXPECT_EQ(copy.InsertAt(k.index, &x), &x);
        EXPECT_EQ(Values(copy), k.expected) << k.index;
    }
}

TEST_F(PointerListOfThree, RemoveAtAndFind)
{
    EXPECT_EQ(list.Find(&b), 1);
    EXPECT_EQ(list.Find(&x), -1);
    EXPECT_EQ(list.RemoveAt(1), &b);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 3}));
    EXPECT_EQ(list.RemoveAt(-1), nullptr);
    EXPECT_EQ(list.RemoveAt(2), nullptr);
    EXPECT_EQ(list.Count(), 2);
}

TEST(PointerList, DeleteAllDeletesLastFirstAndKeepsAllocation)
{
    static std::vector<int> order;
    order.clear();
    struct Tracked
    {
        int id;
        ~Tracked() { order.push_back(id); }
    };
    PointerList<Tracked> list;
    for (int i = 0; i < 4; ++i)
        list.Append(new Tracked{i});
    const int allocated = list.Allocated();
    list.DeleteAll();
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Allocated(), allocated);
}

TEST(PointerList, GrowsPastOneAllocation)
{
    PointerList<int> list;
    std::vector<int> values(2000);
    for (int i = 0; i < 2000; ++i) {
        values[i] = i;
        list.Append(&values[i]);
    }
    ASSERT_EQ(list.Count(), 2000);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(list.Get(i), &values[i]);
}

} // namespace
