// The diagnostics log file and its error-name tables.
#include "diag/log.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/files.h"

namespace {

struct CodeName {
  int32_t code;
  const char* name;  // null closes the table
};

// Searched in order; the first equal code names it.
constexpr CodeName kDirectDrawNames[] = {
    {static_cast<int32_t>(0x88760005u), "DDERR_ALREADYINITIALIZED\n"},
    {static_cast<int32_t>(0x8876000Au), "DDERR_CANNOTATTACHSURFACE\n"},
    {static_cast<int32_t>(0x88760014u), "DDERR_CANNOTDETACHSURFACE\n"},
    {static_cast<int32_t>(0x88760028u), "DDERR_CURRENTLYNOTAVAIL\n"},
    {static_cast<int32_t>(0x88760037u), "DDERR_EXCEPTION\n"},
    {static_cast<int32_t>(0x80004005u), "DDERR_GENERIC\n"},
    {static_cast<int32_t>(0x8876005Au), "DDERR_HEIGHTALIGN\n"},
    {static_cast<int32_t>(0x8876005Fu), "DDERR_INCOMPATIBLEPRIMARY\n"},
    {static_cast<int32_t>(0x88760064u), "DDERR_INVALIDCAPS\n"},
    {static_cast<int32_t>(0x8876006Eu), "DDERR_INVALIDCLIPLIST\n"},
    {static_cast<int32_t>(0x88760078u), "DDERR_INVALIDMODE\n"},
    {static_cast<int32_t>(0x88760082u), "DDERR_INVALIDOBJECT\n"},
    {static_cast<int32_t>(0x80070057u), "DDERR_INVALIDPARAMS\n"},
    {static_cast<int32_t>(0x88760091u), "DDERR_INVALIDPIXELFORMAT\n"},
    {static_cast<int32_t>(0x88760096u), "DDERR_INVALIDRECT\n"},
    {static_cast<int32_t>(0x887600A0u), "DDERR_LOCKEDSURFACES\n"},
    {static_cast<int32_t>(0x887600AAu), "DDERR_NO3D\n"},
    {static_cast<int32_t>(0x887600B4u), "DDERR_NOALPHAHW\n"},
    {static_cast<int32_t>(0x887600CDu), "DDERR_NOCLIPLIST\n"},
    {static_cast<int32_t>(0x887600D2u), "DDERR_NOCOLORCONVHW\n"},
    {static_cast<int32_t>(0x887600D4u), "DDERR_NOCOOPERATIVELEVELSET\n"},
    {static_cast<int32_t>(0x887600D7u), "DDERR_NOCOLORKEY\n"},
    {static_cast<int32_t>(0x887600DCu), "DDERR_NOCOLORKEYHW\n"},
    {static_cast<int32_t>(0x887600DEu), "DDERR_NODIRECTDRAWSUPPORT\n"},
    {static_cast<int32_t>(0x887600E1u), "DDERR_NOEXCLUSIVEMODE\n"},
    {static_cast<int32_t>(0x887600E6u), "DDERR_NOFLIPHW\n"},
    {static_cast<int32_t>(0x887600F0u), "DDERR_NOGDI\n"},
    {static_cast<int32_t>(0x887600FAu), "DDERR_NOMIRRORHW\n"},
    {static_cast<int32_t>(0x887600FFu), "DDERR_NOTFOUND\n"},
    {static_cast<int32_t>(0x88760104u), "DDERR_NOOVERLAYHW\n"},
    {static_cast<int32_t>(0x88760118u), "DDERR_NORASTEROPHW\n"},
    {static_cast<int32_t>(0x88760122u), "DDERR_NOROTATIONHW\n"},
    {static_cast<int32_t>(0x88760136u), "DDERR_NOSTRETCHHW\n"},
    {static_cast<int32_t>(0x8876013Cu), "DDERR_NOT4BITCOLOR\n"},
    {static_cast<int32_t>(0x8876013Du), "DDERR_NOT4BITCOLORINDEX\n"},
    {static_cast<int32_t>(0x88760140u), "DDERR_NOT8BITCOLOR\n"},
    {static_cast<int32_t>(0x8876014Au), "DDERR_NOTEXTUREHW\n"},
    {static_cast<int32_t>(0x8876014Fu), "DDERR_NOVSYNCHW\n"},
    {static_cast<int32_t>(0x88760154u), "DDERR_NOZBUFFERHW\n"},
    {static_cast<int32_t>(0x8876015Eu), "DDERR_NOZOVERLAYHW\n"},
    {static_cast<int32_t>(0x88760168u), "DDERR_OUTOFCAPS\n"},
    {static_cast<int32_t>(0x8007000Eu), "DDERR_OUTOFMEMORY\n"},
    {static_cast<int32_t>(0x8876017Cu), "DDERR_OUTOFVIDEOMEMORY\n"},
    {static_cast<int32_t>(0x8876017Eu), "DDERR_OVERLAYCANTCLIP\n"},
    {static_cast<int32_t>(0x88760180u), "DDERR_OVERLAYCOLORKEYONLYONEACTIVE\n"},
    {static_cast<int32_t>(0x88760183u), "DDERR_PALETTEBUSY\n"},
    {static_cast<int32_t>(0x88760190u), "DDERR_COLORKEYNOTSET\n"},
    {static_cast<int32_t>(0x8876019Au), "DDERR_SURFACEALREADYATTACHED\n"},
    {static_cast<int32_t>(0x887601A4u), "DDERR_SURFACEALREADYDEPENDENT\n"},
    {static_cast<int32_t>(0x887601AEu), "DDERR_SURFACEBUSY\n"},
    {static_cast<int32_t>(0x887601B8u), "DDERR_SURFACEISOBSCURED\n"},
    {static_cast<int32_t>(0x887601C2u), "DDERR_SURFACELOST\n"},
    {static_cast<int32_t>(0x887601CCu), "DDERR_SURFACENOTATTACHED\n"},
    {static_cast<int32_t>(0x887601D6u), "DDERR_TOOBIGHEIGHT\n"},
    {static_cast<int32_t>(0x887601E0u), "DDERR_TOOBIGSIZE\n"},
    {static_cast<int32_t>(0x887601EAu), "DDERR_TOOBIGWIDTH\n"},
    {static_cast<int32_t>(0x80004001u), "DDERR_UNSUPPORTED\n"},
    {static_cast<int32_t>(0x887601FEu), "DDERR_UNSUPPORTEDFORMAT\n"},
    {static_cast<int32_t>(0x88760208u), "DDERR_UNSUPPORTEDMASK\n"},
    {static_cast<int32_t>(0x88760219u), "DDERR_VERTICALBLANKINPROGRESS\n"},
    {static_cast<int32_t>(0x8876021Cu), "DDERR_WASSTILLDRAWING\n"},
    {static_cast<int32_t>(0x88760230u), "DDERR_XALIGN\n"},
    {static_cast<int32_t>(0x88760231u), "DDERR_INVALIDDIRECTDRAWGUID\n"},
    {static_cast<int32_t>(0x88760232u), "DDERR_DIRECTDRAWALREADYCREATED\n"},
    {static_cast<int32_t>(0x88760233u), "DDERR_NODIRECTDRAWHW\n"},
    {static_cast<int32_t>(0x88760234u), "DDERR_PRIMARYSURFACEALREADYEXISTS\n"},
    {static_cast<int32_t>(0x88760235u), "DDERR_NOEMULATION\n"},
    {static_cast<int32_t>(0x88760236u), "DDERR_REGIONTOOSMALL\n"},
    {static_cast<int32_t>(0x88760237u), "DDERR_CLIPPERISUSINGHWND\n"},
    {static_cast<int32_t>(0x88760238u), "DDERR_NOCLIPPERATTACHED\n"},
    {static_cast<int32_t>(0x88760239u), "DDERR_NOHWND\n"},
    {static_cast<int32_t>(0x8876023Au), "DDERR_HWNDSUBCLASSED\n"},
    {static_cast<int32_t>(0x8876023Bu), "DDERR_HWNDALREADYSET\n"},
    {static_cast<int32_t>(0x8876023Cu), "DDERR_NOPALETTEATTACHED\n"},
    {static_cast<int32_t>(0x8876023Du), "DDERR_NOPALETTEHW\n"},
    {static_cast<int32_t>(0x8876023Eu), "DDERR_BLTFASTCANTCLIP\n"},
    {static_cast<int32_t>(0x8876023Fu), "DDERR_NOBLTHW\n"},
    {static_cast<int32_t>(0x88760240u), "DDERR_NODDROPSHW\n"},
    {static_cast<int32_t>(0x88760241u), "DDERR_OVERLAYNOTVISIBLE\n"},
    {static_cast<int32_t>(0x88760242u), "DDERR_NOOVERLAYDEST\n"},
    {static_cast<int32_t>(0x88760243u), "DDERR_INVALIDPOSITION\n"},
    {static_cast<int32_t>(0x88760244u), "DDERR_NOTAOVERLAYSURFACE\n"},
    {static_cast<int32_t>(0x88760245u), "DDERR_EXCLUSIVEMODEALREADYSET\n"},
    {static_cast<int32_t>(0x88760246u), "DDERR_NOTFLIPPABLE\n"},
    {static_cast<int32_t>(0x88760247u), "DDERR_CANTDUPLICATE\n"},
    {static_cast<int32_t>(0x88760248u), "DDERR_NOTLOCKED\n"},
    {static_cast<int32_t>(0x88760249u), "DDERR_CANTCREATEDC\n"},
    {static_cast<int32_t>(0x8876024Au), "DDERR_NODC\n"},
    {static_cast<int32_t>(0x8876024Bu), "DDERR_WRONGMODE\n"},
    {static_cast<int32_t>(0x8876024Cu), "DDERR_IMPLICITLYCREATED\n"},
    {static_cast<int32_t>(0x8876024Du), "DDERR_NOTPALETTIZED\n"},
    {static_cast<int32_t>(0x8876024Eu), "DDERR_UNSUPPORTEDMODE\n"},
    {0, nullptr},
};

constexpr CodeName kDirectSoundNames[] = {
    {static_cast<int32_t>(0x80004005u), "DSERR_GENERIC\n"},
    {static_cast<int32_t>(0x80004001u), "DSERR_UNSUPPORTED\n"},
    {static_cast<int32_t>(0x8007000Eu), "DSERR_OUTOFMEMORY\n"},
    {static_cast<int32_t>(0x80040110u), "DSERR_NOAGGREGATION\n"},
    {static_cast<int32_t>(0x80070057u), "DSERR_INVALIDPARAM\n"},
    {static_cast<int32_t>(0x8878000Au), "DSERR_ALLOCATED\n"},
    {static_cast<int32_t>(0x8878001Eu), "DSERR_CONTROLUNAVAIL\n"},
    {static_cast<int32_t>(0x88780032u), "DSERR_INVALIDCALL\n"},
    {static_cast<int32_t>(0x88780046u), "DSERR_PRIOLEVELNEEDED\n"},
    {static_cast<int32_t>(0x88780064u), "DSERR_BADFORMAT\n"},
    {static_cast<int32_t>(0x88780078u), "DSERR_NODRIVER\n"},
    {static_cast<int32_t>(0x88780082u), "DSERR_ALREADYINITIALIZED\n"},
    {static_cast<int32_t>(0x88780096u), "DSERR_BUFFERLOST\n"},
    {static_cast<int32_t>(0x887800A0u), "DSERR_OTHERAPPHASPRIO\n"},
    {0, nullptr},
};

constexpr size_t kPathBytes = 100;  // terminator included
constexpr const char kFileName[] = "logfile.txt";

FILE* g_log = nullptr;
std::string g_path;

const char* Lookup(const CodeName* table, int32_t code, const char* otherwise) {
  for (; table->name != nullptr; ++table)
    if (table->code == code) return table->name;
  return otherwise;
}

void Open(const char* text) {
  // A second open replaces the first file instead of leaking its handle.
  if (g_log != nullptr) {
    std::fclose(g_log);
    g_log = nullptr;
  }
  std::string path = text != nullptr ? std::string(text).substr(0, kPathBytes - 1) : "C:\\";
  std::error_code ignored;
  if (!path.empty()) std::filesystem::create_directory(platform::ResolvePath(path.c_str()), ignored);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kFileName;
  // A path that does not fit the 100-byte buffer is refused, not cut into
  // another file's name.
  g_path.clear();
  if (path.size() > kPathBytes - 1) return;
  g_path = path;
  g_log = std::fopen(platform::ResolvePath(path.c_str()).c_str(), "wt");
}

}  // namespace

const char* DirectDrawErrorName(int32_t code) {
  return Lookup(kDirectDrawNames, code, "DD: Error type not recognized.\n");
}

const char* DirectSoundErrorName(int32_t code) {
  return Lookup(kDirectSoundNames, code, "DS: Error type not recognized.\n");
}

bool LogIsOpen() { return g_log != nullptr; }

const char* LogPath() { return g_path.c_str(); }

void WriteLog(int16_t operation, int32_t code, const char* text) {
  switch (operation) {
    case 0:
      Open(text);
      return;
    case 1:
    case 2:
    case 3:
      if (g_log == nullptr) return;
      if (text != nullptr) std::fputs(text, g_log);
      if (operation == 1) std::fputs(DirectDrawErrorName(code), g_log);
      if (operation == 2) std::fputs(DirectSoundErrorName(code), g_log);
      std::fflush(g_log);
      return;
    case 4:
      if (g_log != nullptr) std::fclose(g_log);
      g_log = nullptr;
      return;
    default:
      return;
  }
}
