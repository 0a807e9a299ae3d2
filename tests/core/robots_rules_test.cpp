// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// robots.txt rules: the examples of RFC 9309 and our own cases, one table.
#include <gtest/gtest.h>

#include "robots/rules.h"

using namespace larkspur;

namespace {

// RFC 9309, 5.1.
constexpr const char* kRfcExample = "User-Agent: *\n"
                                    "Disallow: *.gif$\n"
                                    "Disallow: /example/\n"
                                    "Allow: /publications/\n"
                                    "\n"
                                    "User-Agent: foobot\n"
                                    "Disallow:/\n"
                                    "Allow:/example/page.html\n"
                                    "Allow:/example/allowed.gif\n"
                                    "\n"
                                    "User-Agent: barbot\n"
                                    "User-Agent: bazbot\n"
                                    "Disallow: /example/page.html\n"
                                    "\n"
                                    "User-Agent: quxbot\n"
                                    "\n"
                                    "EOF\n";
// RFC 9309, 5.2.
constexpr const char* kLongestMatch = "User-Agent: foobot\n"
                                      "Allow: /example/page/\n"
                                      "Disallow: /example/page/disallowed.gif\n";

}  // namespace

TEST(RobotsRules, DecideAsTheRfcAndOurOwnCasesSay)
{
    const std::string large = "User-agent: *\nDisallow: /a\n" + std::string(kRobotsTxtParseLimit, '#') + "\nDisallow: /b\n";
    struct Case { std::string robots; const char* agent; std::string path; bool allowed; };
    const Case cases[] = {
        {kRfcExample, "*", "/example/page.html", false},
        {kRfcExample, "", "/publications/a.html", true},
        {kRfcExample, "anybot", "/images/a.gif", false},
        {kRfcExample, "anybot", "/images/a.gif?size=2", true},
        {kRfcExample, "anybot", "/index.html", true},
        {kRfcExample, "foobot", "/index.html", false},
        {kRfcExample, "FooBot", "/example/page.html", true},
        {kRfcExample, "foobot", "/example/allowed.gif", true},
        {kRfcExample, "foobot", "/example/other.gif", false},
        {kRfcExample, "barbot", "/example/page.html", false},
        {kRfcExample, "bazbot", "/example/page.html.bak", false},
        {kRfcExample, "bazbot", "/example/other.html", true},
        {kRfcExample, "quxbot", "/example/a.gif", true},
        {kRfcExample, "foobot", "/robots.txt", true},
        {kLongestMatch, "foobot", "/example/page/", true},
        {kLongestMatch, "foobot", "/example/page/disallowed.gif", false},
        {kLongestMatch, "foobot", "/example/page/other.gif", true},
        {kLongestMatch, "otherbot", "/example/page/disallowed.gif", true},
        // 2.2.2: escapes of unreserved characters decoded, others compared in upper case, UTF-8 escaped.
        {"User-agent: *\nDisallow: /foo/bar?baz=quz\n", "*", "/foo/bar?baz=quz", false},
        {"User-agent: *\nDisallow: /foo/bar/%E3%83%84\n", "*", "/foo/bar/\xE3\x83\x84", false},
        {"User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\n", "*", "/foo/bar/%e3%83%84", false},
        {"User-agent: *\nDisallow: /foo/bar/%62%61%7A\n", "*", "/foo/bar/baz", false},
        {"User-agent: *\nDisallow: /foo/bar/baz\n", "*", "/foo/bar/%62%61%7a", false},
        {"User-agent: *\nDisallow: /a%2Fb\n", "*", "/a/b", true},
        // 2.2.3: "$" ends a pattern, "*" is any bytes, escaped they are plain characters.
        {"User-agent: *\nDisallow: /this/path/exactly$\n", "*", "/this/path/exactly", false},
        {"User-agent: *\nDisallow: /this/path/exactly$\n", "*", "/this/path/exactly/", true},
        {"User-agent: *\nDisallow: /this/*/exactly\n", "*", "/this/a/b/exactly.html", false},
        {"User-agent: *\nDisallow: /this/*/exactly\n", "*", "/this/exactly", true},
        {"User-agent: *\nDisallow: /path/file-with-a-%2A.html\n", "*", "/path/file-with-a-*.html", false},
        {"User-agent: *\nDisallow: /path/file-with-a-%2A.html\n", "*", "/path/file-with-a-b.html", true},
        {"User-agent: *\nDisallow: /path/foo-%24\n", "*", "/path/foo-$", false},
        {"User-agent: *\nDisallow: /a$b\n", "*", "/a$b/c", false},
        {"User-agent: *\nDisallow: /*.html$\nAllow: /*a*b*c*\n", "*", "/xaybzc.html", true},
        {"User-agent: *\nDisallow: /*a*a*a*a*b$\n", "*", "/" + std::string(200, 'a'), true},
        // The longest pattern decides; Allow wins a tie; "$" counts.
        {"User-agent: *\nDisallow: /page\nAllow: /page\n", "*", "/page", true},
        {"User-agent: *\nAllow: /a$\nDisallow: /a\n", "*", "/a", true},
        {"User-agent: *\nAllow: /a$\nDisallow: /a\n", "*", "/ab", false},
        {"User-agent: *\nAllow: /\nDisallow: /*.pdf\n", "*", "/doc.pdf", false},
        // Groups: several for one agent merge, the "*" group only when none names it.
        {"User-agent: a\nDisallow: /x\nUser-agent: b\nDisallow: /y\nUser-agent: a\nDisallow: /z\n", "a", "/z", false},
        {"User-agent: a\nDisallow: /x\nUser-agent: b\nDisallow: /y\nUser-agent: a\nDisallow: /z\n", "a", "/y", true},
        {"User-agent: *\nDisallow: /\nUser-agent: a\nDisallow: /x\n", "a", "/y", true},
        {"User-agent: *\nUser-agent: a\nDisallow: /x\n", "b", "/x", false},
        {"User-agent: Googlebot/2.1 (+http://www.google.com/bot.html)\nDisallow: /g\n", "googlebot", "/g", false},
        {"User-agent: Googlebot-News\nDisallow: /g\n", "Googlebot", "/g", true},
        {"User-agent: a\nDisallow: /\n", "*", "/x", true},
        {"Disallow: /\nUser-agent: *\nAllow: /\n", "*", "/x", true},
        // Lines: any ending, comments, spaces, field names in any case, a byte-order mark.
        {"\xEF\xBB\xBFUser-agent: *\r\nDisallow: /a # not /b\r\n", "*", "/a", false},
        {"User-agent: *\rDISALLOW :  /b\r", "*", "/b/c", false},
        {"User-agent: * # all\nDisallow: /# nothing\nSitemap: https://e.org/s.xml\nDisallow: /c\n", "*", "/c", false},
        {"User-agent: *\nDisallow:\n", "*", "/", true},
        {"User-agent: *\nDisallow: /a b\n", "*", "/a%20b", false},
        // Past 500 KiB nothing is read.
        {large, "*", "/a", false},
        {large, "*", "/b", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RobotsRules(c.robots, c.agent).allows(c.path), c.allowed)
            << "agent " << c.agent << ", path " << c.path << ", robots.txt:\n" << c.robots.substr(0, 300);

    EXPECT_EQ(UrlPathAndQuery("https://e.org/a/b?c=d#e"), "/a/b?c=d");
    EXPECT_EQ(UrlPathAndQuery("https://e.org"), "/");
    EXPECT_EQ(UrlPathAndQuery("https://e.org?q"), "/?q");
    EXPECT_TRUE(IsProductToken("Googlebot-Image_2") == false && IsProductToken("Googlebot-Image_"));
}
