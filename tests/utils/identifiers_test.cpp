#include "ostrameld/utils/identifiers.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(Identifiers, DoiValues) {
  struct {
    const char* value;
    std::optional<std::string> doi;
  } cases[] = {
      {"10.5281/zenodo.1234567", "10.5281/zenodo.1234567"},
      {"https://doi.org/10.5281/ZENODO.1234567", "10.5281/zenodo.1234567"},
      {"http://dx.doi.org/10.1000/xyz(1)", "10.1000/xyz(1)"},
      {"doi:10.21105/joss.01234", "10.21105/joss.01234"},
      {" DOI:10.1371/journal.pcbi.1004668 ", "10.1371/journal.pcbi.1004668"},
      {"10.1002/(SICI)1097-4571(199806)49:8<693::AID-ASI4>3.0.CO;2-0",
       "10.1002/(sici)1097-4571(199806)49:8<693::aid-asi4>3.0.co;2-0"},  // early Wiley
      {"10.123/abc", std::nullopt},                // registrant code too short
      {"10.1234/a b", std::nullopt},                // a blank
      {"11.5281/zenodo.1", std::nullopt},
      {"https://zenodo.org/record/123", std::nullopt},
      {"10.5281/zenodo.1<x>", std::nullopt},        // not in Crossref's set
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(parse_doi(c.value), c.doi);
  }
}

TEST(Identifiers, DoisInProse) {
  struct {
    const char* text;
    std::vector<std::string> dois;
  } cases[] = {
      {"[![DOI](https://zenodo.org/badge/DOI/10.5281/zenodo.4321.svg)](https://doi.org/10.5281/"
       "zenodo.4321)",
       {"10.5281/zenodo.4321"}},
      {"See the paper (doi:10.21105/joss.00042).", {"10.21105/joss.00042"}},
      {"Cite 10.1000/a(b)c, or 10.1000/xyz.", {"10.1000/a(b)c", "10.1000/xyz"}},
      {"https://doi.org/10.5281/zenodo.99%2Fx and 210.1000/abc", {"10.5281/zenodo.99"}},
      {"no identifier here: 10.1/x", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(dois_in_text(c.text), c.dois);
  }
}

TEST(Identifiers, Swhids) {
  const std::string hash = "94a9ed024d3859793618152ea559a168bbcbb5e2";
  struct {
    std::string value;
    bool valid;
    std::size_t qualifiers;
  } cases[] = {
      {"swh:1:rev:" + hash, true, 0},
      {"swh:1:cnt:" + hash + ";origin=https://github.com/a/b;lines=9-15", true, 2},
      {"swh:1:dir:" + hash + ";visit=swh:1:snp:" + hash + ";anchor=swh:1:rev:" + hash +
           ";path=/src/",
       true, 3},
      {"swh:1:rev:" + hash + ";visit=swh:1:rev:" + hash, false, 0},  // a visit is a snapshot
      {"swh:1:rev:" + hash + ";lines=a", false, 0},
      {"swh:1:rev:" + hash + ";colour=red", false, 0},
      {"swh:2:rev:" + hash, false, 0},
      {"swh:1:xyz:" + hash, false, 0},
      {"swh:1:rev:" + hash.substr(1), false, 0},
      {"swh:1:rev:" + std::string(40, 'A'), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto id = parse_swhid(c.value);
    ASSERT_EQ(id.has_value(), c.valid);
    if (id) {
      EXPECT_EQ(id->qualifiers.size(), c.qualifiers);
    }
  }
  auto found = swhids_in_text("archived as swh:1:rev:" + hash + ";origin=https://x.org/a). Also swh:1:rev:" + hash);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].core(), "swh:1:rev:" + hash);
  EXPECT_EQ(found[0].qualifiers.size(), 1u);
}

TEST(Identifiers, OrcidsWithTheirCheckCharacter) {
  struct {
    const char* value;
    std::optional<std::string> id;
    bool valid;
  } cases[] = {
      {"0000-0002-1825-0097", "0000-0002-1825-0097", true},
      {"https://orcid.org/0000-0001-5109-3700", "0000-0001-5109-3700", true},
      {"http://www.orcid.org/0000-0002-1694-233x/", "0000-0002-1694-233X", true},
      {"orcid.org/0000-0002-1825-0098", "0000-0002-1825-0098", false},  // wrong check digit
      {"0000-0002-1694-2339", "0000-0002-1694-2339", false},
      {"0000-0002-1825-009", std::nullopt, false},
      {"https://example.org/0000-0002-1825-0097", std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    auto o = parse_orcid(c.value);
    ASSERT_EQ(o.has_value(), c.id.has_value());
    if (!o) continue;
    EXPECT_EQ(o->id, *c.id);
    EXPECT_EQ(o->checksum_valid, c.valid);
  }
  auto found = orcids_in_text(
      "person(\"A\", comment = c(ORCID = \"0000-0002-1825-0097\")) 10000-0002-1825-0097 "
      "0000-0001-5109-3700");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].id, "0000-0001-5109-3700");
}

}  // namespace
}  // namespace ostrameld
