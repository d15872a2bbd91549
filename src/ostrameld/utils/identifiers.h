// Persistent identifiers as their registries define them: DOIs (Crossref's recommended
// pattern and the early Wiley form), SoftwareHeritage IDs (core and qualifiers) and
// ORCID iDs (with their ISO 7064 MOD 11-2 check character).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrameld {

// A whole value naming one DOI, with or without a resolver ("https://doi.org/",
// "http://dx.doi.org/") or "doi:" in front: the bare DOI in lower case, or nothing.
std::optional<std::string> parse_doi(std::string_view value);

// Every DOI in prose (a README, a description), bare and lower case, in order, each
// once: trailing punctuation and an unbalanced closing bracket are not part of it, nor
// is the image suffix of a badge URL.
std::vector<std::string> dois_in_text(std::string_view text);

struct Swhid {
  std::string kind;  // "cnt", "dir", "rev", "rel" or "snp"
  std::string hash;  // 40 lower-case hex digits
  std::vector<std::pair<std::string, std::string>> qualifiers;  // as written, in order
  std::string core() const { return "swh:1:" + kind + ":" + hash; }
};

// A whole value "swh:1:KIND:HASH" with optional ";origin=…;visit=…;anchor=…;path=…;
// lines=…" qualifiers (each known, each well formed); nothing otherwise.
std::optional<Swhid> parse_swhid(std::string_view value);
// Every SWHID in prose, in order, each core once.
std::vector<Swhid> swhids_in_text(std::string_view text);

struct Orcid {
  std::string id;  // "0000-0002-1825-0097"
  bool checksum_valid = false;
};

// A value "NNNN-NNNN-NNNN-NNNX", alone or after "https://orcid.org/" (http, www. and
// "orcid.org/" accepted too): the iD and whether its check character is right; nothing
// when the value has another form.
std::optional<Orcid> parse_orcid(std::string_view value);
// Every ORCID iD in prose (a comment, an R person() call), in order, each once.
std::vector<Orcid> orcids_in_text(std::string_view text);

}  // namespace ostrameld
