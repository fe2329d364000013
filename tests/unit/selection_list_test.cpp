#include <gtest/gtest.h>

#include <string>

#include "selection/selection_list.h"

TEST(SelectionList, AddRuleIsExactAndCountsOnce) {
    clearSelection();
    EXPECT_TRUE(addSelectionPath("C:\\a.txt", false));
    EXPECT_FALSE(addSelectionPath("C:\\a.txt", true));  // any road: dropped, no count
    EXPECT_TRUE(addSelectionPath("c:\\A.TXT", false));  // byte comparison, case-sensitive
    EXPECT_TRUE(addSelectionPath("C:\\Photos", true));
    EXPECT_EQ(selectionList.size(), 3u);
    EXPECT_EQ(selectedFileCount, 2);
    EXPECT_EQ(selectedFolderCount, 1);
    EXPECT_TRUE(selectionContains("c:\\A.TXT"));
    EXPECT_FALSE(selectionContains("C:\\a.txt\\"));
}

TEST(SelectionList, PathsLongerThanTheFieldAreRefused) {
    clearSelection();
    EXPECT_TRUE(addSelectionPath(std::string(259, 'x'), false));
    EXPECT_FALSE(addSelectionPath(std::string(260, 'y'), false));
    EXPECT_FALSE(addSelectionPath("", false));
    EXPECT_EQ(selectedFileCount, 1);
}

TEST(SelectionList, RemovalFollowsTheKindOnDisk) {
    clearSelection();
    // A folder entry whose folder no longer exists is counted down as a file.
    addSelectionPath("/no/such/folder", true);
    EXPECT_TRUE(removeSelectionPath("/no/such/folder"));
    EXPECT_EQ(selectedFolderCount, 1);
    EXPECT_EQ(selectedFileCount, -1);
    EXPECT_FALSE(removeSelectionPath("/no/such/folder"));
}
