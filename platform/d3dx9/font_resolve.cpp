// Font files for Windows face names and for pictographs, through fontconfig.
#include "d3dx9/font_resolve.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace standin {
namespace {

// Windows' core faces and the free faces drawn to the same metrics, so
// text measures and breaks as it does on Windows.
struct MetricAlias {
  const char* windowsName;
  const char* standIns[2];
};
constexpr MetricAlias kMetricAliases[] = {
    {"Arial", {"Liberation Sans", "Arimo"}},
    {"Helvetica", {"Liberation Sans", "Arimo"}},
    {"Times New Roman", {"Liberation Serif", "Tinos"}},
    {"Courier New", {"Liberation Mono", "Cousine"}},
};

// Symbol fonts tried first for pictographs, best coverage of Unicode 7's
// Webdings and Wingdings additions first.
constexpr const char* kSymbolFamilies[] = {"Symbola", "Noto Sans Symbols2", "Noto Sans Symbols",
                                           "DejaVu Sans"};

FcConfig* Config() {
  static FcConfig* config = FcInitLoadConfigAndFonts();
  return config;
}

bool FamilyIs(FcPattern* font, const char* family) {
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &value) == FcResultMatch; ++i)
    if (strcasecmp(reinterpret_cast<const char*>(value), family) == 0) return true;
  return false;
}

bool FillFaceFile(FcPattern* font, FaceFile* out) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return false;
  int index = 0;
  FcPatternGetInteger(font, FC_INDEX, 0, &index);
  FcChar8* family = nullptr;
  FcPatternGetString(font, FC_FAMILY, 0, &family);
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(font, FC_SLANT, 0, &slant);
  out->path = reinterpret_cast<const char*>(file);
  out->index = index;
  out->family = family ? reinterpret_cast<const char*>(family) : "";
  // fontconfig's own rules may answer an italic request with an upright
  // face plus a shear to apply; such a face is not italic itself.
  FcMatrix* matrix = nullptr;
  const bool sheared = FcPatternGetMatrix(font, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix &&
                       matrix->xy != 0.0;
  out->italic = slant != FC_SLANT_ROMAN && !sheared;
  return true;
}

// The best match for `family` at this weight and slant. With
// `anyFamily` false the match must really be of that family (fontconfig
// always answers with something).
bool MatchFamily(const char* family, unsigned weight, bool italic, bool anyFamily,
                 FaceFile* out) {
  FcConfig* config = Config();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      weight == 0 ? FC_WEIGHT_REGULAR
                                  : FcWeightFromOpenType(static_cast<int>(std::min(weight, 1000u))));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* font = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!font) return false;
  const bool ok = (anyFamily || FamilyIs(font, family)) && FillFaceFile(font, out);
  FcPatternDestroy(font);
  return ok;
}

struct SymbolCandidate {
  int rank;  // position in kSymbolFamilies, or past its end
  std::string path;
  int index;
  std::string family;
  FcCharSet* charset;  // owned by the candidate list's font set
};

// Every installed outline font without colour bitmaps, in a fixed order:
// the symbol families first, then by file name.
const std::vector<SymbolCandidate>& SymbolCandidates() {
  static std::vector<SymbolCandidate> candidates;
  static bool built = false;
  if (built) return candidates;
  built = true;
  FcConfig* config = Config();
  if (!config) return candidates;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  FcObjectSet* objects =
      FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_CHARSET, FC_COLOR, nullptr);
  // Kept for the life of the process: the candidates point into it.
  static FcFontSet* fonts = FcFontList(config, pattern, objects);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  if (!fonts) return candidates;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    FcBool color = FcFalse;
    if (FcPatternGetBool(font, FC_COLOR, 0, &color) == FcResultMatch && color) continue;
    FcCharSet* charset = nullptr;
    FcChar8* file = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
        FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
      continue;
    SymbolCandidate c;
    c.rank = static_cast<int>(std::size(kSymbolFamilies));
    for (size_t r = 0; r < std::size(kSymbolFamilies); ++r)
      if (FamilyIs(font, kSymbolFamilies[r])) {
        c.rank = static_cast<int>(r);
        break;
      }
    c.path = reinterpret_cast<const char*>(file);
    c.index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &c.index);
    FcChar8* family = nullptr;
    FcPatternGetString(font, FC_FAMILY, 0, &family);
    c.family = family ? reinterpret_cast<const char*>(family) : "";
    c.charset = charset;
    candidates.push_back(std::move(c));
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const SymbolCandidate& a, const SymbolCandidate& b) {
              if (a.rank != b.rank) return a.rank < b.rank;
              if (a.path != b.path) return a.path < b.path;
              return a.index < b.index;
            });
  return candidates;
}

}  // namespace

bool ResolveFace(const char* faceName, unsigned weight, bool italic, FaceFile* out) {
  if (!out) return false;
  const char* name = faceName ? faceName : "";
  for (const MetricAlias& alias : kMetricAliases) {
    if (strcasecmp(alias.windowsName, name) != 0) continue;
    for (const char* standIn : alias.standIns)
      if (MatchFamily(standIn, weight, italic, false, out)) return true;
  }
  if (*name && MatchFamily(name, weight, italic, false, out)) return true;
  return MatchFamily("sans-serif", weight, italic, true, out);
}

bool IsWebdingsFace(const char* faceName) {
  return faceName && strcasecmp(faceName, "Webdings") == 0;
}

bool FindFaceWithCodepoint(uint32_t codepoint, FaceFile* out) {
  if (!out) return false;
  for (const SymbolCandidate& c : SymbolCandidates()) {
    if (!FcCharSetHasChar(c.charset, codepoint)) continue;
    out->path = c.path;
    out->index = c.index;
    out->family = c.family;
    out->italic = false;
    return true;
  }
  return false;
}

}  // namespace standin
