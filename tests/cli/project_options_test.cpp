// The per-project options file beside saving.dat.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "project_options.h"
#include "temp_tree.h"

namespace larkspur {
namespace {

using test::TempTree;

SitemapOptions Sample()
{
    SitemapOptions options;
    options.protocol = Protocol::Sitemaps09;
    options.exclude = {"drafts/", "a,b.html", "x y"};
    options.extensions = {"html", "pdf"};
    options.urlStyle = UrlStyle::Folder;
    options.omitHints = true;
    return options;
}

TEST(ProjectOptions, EachNameKeepsItsGroupThroughRenameAndRemove)
{
    TempTree t;
    const std::string wd = t.root();
    SitemapOptions read;
    ASSERT_EQ(LoadProjectOptions(wd, "none yet", read), 0);
    EXPECT_EQ(read, SitemapOptions{});
    EXPECT_FALSE(t.exists("sitemap-options.ini"));

    std::string error;
    for (const char* name : {"a/b", "a", "Ünï \\ code%"})
        ASSERT_EQ(StoreProjectOptions(wd, name, Sample(), &error), 0) << error;
    SitemapOptions other = Sample();
    other.exclude = {"only"};
    ASSERT_EQ(StoreProjectOptions(wd, "a", other, &error), 0) << error;
    ASSERT_EQ(LoadProjectOptions(wd, "a/b", read), 0);
    EXPECT_EQ(read, Sample());
    ASSERT_EQ(LoadProjectOptions(wd, "Ünï \\ code%", read), 0);
    EXPECT_EQ(read, Sample());
    ASSERT_EQ(LoadProjectOptions(wd, "a", read), 0);
    EXPECT_EQ(read, other);

    ASSERT_EQ(RenameProjectOptions(wd, "a", "c", &error), 0) << error;
    ASSERT_EQ(LoadProjectOptions(wd, "a", read), 0);
    EXPECT_EQ(read, SitemapOptions{});
    ASSERT_EQ(LoadProjectOptions(wd, "c", read), 0);
    EXPECT_EQ(read, other);

    ASSERT_EQ(RemoveProjectOptions(wd, "c", &error), 0) << error;
    ASSERT_EQ(LoadProjectOptions(wd, "c", read), 0);
    EXPECT_EQ(read, SitemapOptions{});
    ASSERT_EQ(LoadProjectOptions(wd, "a/b", read), 0);
    EXPECT_EQ(read, Sample());
}

TEST(ProjectOptions, UnknownKeysStayAndBadValuesAreReported)
{
    TempTree t;
    t.file("sitemap-options.ini", "[blog]\nfuture-option=kept\nprotocol=0.9\n");
    std::string error;
    ASSERT_EQ(StoreProjectOptions(t.root(), "other", {}, &error), 0) << error;
    EXPECT_NE(t.read("sitemap-options.ini").find("future-option=kept"), std::string::npos);
    SitemapOptions read;
    ASSERT_EQ(LoadProjectOptions(t.root(), "blog", read), 0);
    EXPECT_EQ(read.protocol, Protocol::Sitemaps09);

    t.file("sitemap-options.ini", "[blog]\nurl-style=pretty\n");
    EXPECT_EQ(LoadProjectOptions(t.root(), "blog", read, &error), -1);
    EXPECT_NE(error.find("pretty"), std::string::npos);
}

TEST(ProjectOptions, WrittenThroughARenameKeepingALinkAndItsMode)
{
    TempTree t;
    t.file("elsewhere/options.ini", "");
    ::chmod(t.path("elsewhere/options.ini").c_str(), 0600);
    ASSERT_EQ(::symlink("elsewhere/options.ini", t.path("sitemap-options.ini").c_str()), 0);
    std::string error;
    ASSERT_EQ(StoreProjectOptions(t.root(), "blog", Sample(), &error), 0) << error;
    struct stat st;
    ASSERT_EQ(::lstat(t.path("sitemap-options.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(t.path("elsewhere/options.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(t.read("elsewhere/options.ini").find("url-style=folder"), std::string::npos);
}

}  // namespace
}  // namespace larkspur
