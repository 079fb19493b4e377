// The site program's rows with the native test build.
#include <gtest/gtest.h>

#include "SiteRows.h"

namespace {

class Site : public ::testing::TestWithParam<site::SiteRow> {};

TEST_P(Site, ListingSummaryLogsRecordUnitsAndStatusAsExpected)
{
    e2e::NativeToolRunner runner(false);
    site::runSiteRow(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, Site, ::testing::ValuesIn(site::siteRows()),
                         [](const ::testing::TestParamInfo<site::SiteRow> &info) { return info.param.name; });

} // namespace
