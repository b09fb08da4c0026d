// The module's string table: format names, dialog filters and compression texts in the eight
// languages of the module, looked up by string id in the language chosen by the host.
#include "Language.h"

#include "contracts/VxIdentifiers.h"
#include "contracts/VxResults.h"
#include "../platform/VxFault.h"

#include <atomic>
#include <new>

namespace {

// Column order of the table rows.
enum VxLangColumn : uint32_t {
    kColumnEnglish,
    kColumnGerman,
    kColumnSpanish,
    kColumnFrench,
    kColumnJapanese,
    kColumnPolish,
    kColumnRussian,
    kColumnChinese,
    kColumnCount
};

constexpr uint32_t kColumnLcids[kColumnCount] = {
    kVxLangEnglish,  kVxLangGerman, kVxLangSpanish, kVxLangFrench,
    kVxLangJapanese, kVxLangPolish, kVxLangRussian, kVxLangChinese,
};

struct VxLangRow {
    uint32_t id;
    const char16_t* text[kColumnCount];  // in column order
};

// Proper names (format names, "Photoshop", "OpenEXR", "Targa RGB"), file patterns and the maker's
// name stay as they are in every language. Id 451 follows the format name in the About box title
// (452 + name + 451), so it keeps its leading space everywhere.
constexpr VxLangRow kRows[] = {
    {109, {u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|",
           u"TARGA (*.tga)|*.tga|"}},
    {110, {u"Joint Picture Experts Group JPG Files (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Joint Picture Experts Group JPG-Dateien (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Archivos JPG de Joint Picture Experts Group (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Fichiers JPG Joint Picture Experts Group (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Joint Picture Experts Group JPG ファイル (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Pliki JPG Joint Picture Experts Group (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Файлы JPG Joint Picture Experts Group (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|",
           u"Joint Picture Experts Group JPG 文件 (*.jpg, *.jpe, *.jpeg)|*.jpg|*.jpe|*.jpeg|"}},
    {111, {u"PNG Files (*.png)|*.png|",
           u"PNG-Dateien (*.png)|*.png|",
           u"Archivos PNG (*.png)|*.png|",
           u"Fichiers PNG (*.png)|*.png|",
           u"PNG ファイル (*.png)|*.png|",
           u"Pliki PNG (*.png)|*.png|",
           u"Файлы PNG (*.png)|*.png|",
           u"PNG 文件 (*.png)|*.png|"}},
    {112, {u"Windows Bitmap (*.bmp)|*.bmp|",
           u"Windows-Bitmap (*.bmp)|*.bmp|",
           u"Mapa de bits de Windows (*.bmp)|*.bmp|",
           u"Bitmap Windows (*.bmp)|*.bmp|",
           u"Windows ビットマップ (*.bmp)|*.bmp|",
           u"Mapa bitowa Windows (*.bmp)|*.bmp|",
           u"Точечный рисунок Windows (*.bmp)|*.bmp|",
           u"Windows 位图 (*.bmp)|*.bmp|"}},
    {114, {u"OpenEXR Files (*.exr)|*.exr|",
           u"OpenEXR-Dateien (*.exr)|*.exr|",
           u"Archivos OpenEXR (*.exr)|*.exr|",
           u"Fichiers OpenEXR (*.exr)|*.exr|",
           u"OpenEXR ファイル (*.exr)|*.exr|",
           u"Pliki OpenEXR (*.exr)|*.exr|",
           u"Файлы OpenEXR (*.exr)|*.exr|",
           u"OpenEXR 文件 (*.exr)|*.exr|"}},
    {413, {u"Save As TARGA",
           u"Speichern als TARGA",
           u"Guardar como TARGA",
           u"Enregistrer au format TARGA",
           u"TARGA 形式で保存",
           u"Zapisz jako TARGA",
           u"Сохранить как TARGA",
           u"另存为 TARGA"}},
    {414, {u"TARGA", u"TARGA", u"TARGA", u"TARGA", u"TARGA", u"TARGA", u"TARGA", u"TARGA"}},
    {421, {u"*.tga;*.targa", u"*.tga;*.targa", u"*.tga;*.targa", u"*.tga;*.targa",
           u"*.tga;*.targa", u"*.tga;*.targa", u"*.tga;*.targa", u"*.tga;*.targa"}},
    {422, {u"Open Targa",
           u"Targa öffnen",
           u"Abrir Targa",
           u"Ouvrir Targa",
           u"Targa を開く",
           u"Otwórz Targa",
           u"Открыть Targa",
           u"打开 Targa"}},
    {423, {u"Joint Picture Experts Group", u"Joint Picture Experts Group",
           u"Joint Picture Experts Group", u"Joint Picture Experts Group",
           u"Joint Picture Experts Group", u"Joint Picture Experts Group",
           u"Joint Picture Experts Group", u"Joint Picture Experts Group"}},
    {424, {u"Save As JPEG",
           u"Speichern als JPEG",
           u"Guardar como JPEG",
           u"Enregistrer au format JPEG",
           u"JPEG 形式で保存",
           u"Zapisz jako JPEG",
           u"Сохранить как JPEG",
           u"另存为 JPEG"}},
    {425, {u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg",
           u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg", u"*.jpg;*.jpe;*.jpeg"}},
    {426, {u"Open JPEG",
           u"JPEG öffnen",
           u"Abrir JPEG",
           u"Ouvrir JPEG",
           u"JPEG を開く",
           u"Otwórz JPEG",
           u"Открыть JPEG",
           u"打开 JPEG"}},
    {427, {u"Portable Network Graphic", u"Portable Network Graphic", u"Portable Network Graphic",
           u"Portable Network Graphic", u"Portable Network Graphic", u"Portable Network Graphic",
           u"Portable Network Graphic", u"Portable Network Graphic"}},
    {428, {u"Save As PNG",
           u"Speichern als PNG",
           u"Guardar como PNG",
           u"Enregistrer au format PNG",
           u"PNG 形式で保存",
           u"Zapisz jako PNG",
           u"Сохранить как PNG",
           u"另存为 PNG"}},
    {429, {u"*.png", u"*.png", u"*.png", u"*.png", u"*.png", u"*.png", u"*.png", u"*.png"}},
    {430, {u"Open PNG",
           u"PNG öffnen",
           u"Abrir PNG",
           u"Ouvrir PNG",
           u"PNG を開く",
           u"Otwórz PNG",
           u"Открыть PNG",
           u"打开 PNG"}},
    {431, {u"Open PSD",
           u"PSD öffnen",
           u"Abrir PSD",
           u"Ouvrir PSD",
           u"PSD を開く",
           u"Otwórz PSD",
           u"Открыть PSD",
           u"打开 PSD"}},
    {432, {u"*.psd", u"*.psd", u"*.psd", u"*.psd", u"*.psd", u"*.psd", u"*.psd", u"*.psd"}},
    {433, {u"Photoshop", u"Photoshop", u"Photoshop", u"Photoshop", u"Photoshop", u"Photoshop",
           u"Photoshop", u"Photoshop"}},
    {434, {u"JPEG Compression",
           u"JPEG-Komprimierung",
           u"Compresión JPEG",
           u"Compression JPEG",
           u"JPEG 圧縮",
           u"Kompresja JPEG",
           u"Сжатие JPEG",
           u"JPEG 压缩"}},
    {435, {u"Uncompressed",
           u"Unkomprimiert",
           u"Sin comprimir",
           u"Non compressé",
           u"非圧縮",
           u"Bez kompresji",
           u"Без сжатия",
           u"未压缩"}},
    {436, {u"Inflate compression",
           u"Inflate-Komprimierung",
           u"Compresión Inflate",
           u"Compression Inflate",
           u"Inflate 圧縮",
           u"Kompresja Inflate",
           u"Сжатие Inflate",
           u"Inflate 压缩"}},
    {437, {u"RLE Compression",
           u"RLE-Komprimierung",
           u"Compresión RLE",
           u"Compression RLE",
           u"RLE 圧縮",
           u"Kompresja RLE",
           u"Сжатие RLE",
           u"RLE 压缩"}},
    {438, {u"Windows Bitmap",
           u"Windows-Bitmap",
           u"Mapa de bits de Windows",
           u"Bitmap Windows",
           u"Windows ビットマップ",
           u"Mapa bitowa Windows",
           u"Точечный рисунок Windows",
           u"Windows 位图"}},
    {439, {u"Save As Windows Bitmap",
           u"Speichern als Windows-Bitmap",
           u"Guardar como mapa de bits de Windows",
           u"Enregistrer au format Bitmap Windows",
           u"Windows ビットマップ形式で保存",
           u"Zapisz jako mapę bitową Windows",
           u"Сохранить как точечный рисунок Windows",
           u"另存为 Windows 位图"}},
    {440, {u"*.bmp;*.dib", u"*.bmp;*.dib", u"*.bmp;*.dib", u"*.bmp;*.dib", u"*.bmp;*.dib",
           u"*.bmp;*.dib", u"*.bmp;*.dib", u"*.bmp;*.dib"}},
    {441, {u"Open Windows Bitmap",
           u"Windows-Bitmap öffnen",
           u"Abrir mapa de bits de Windows",
           u"Ouvrir Bitmap Windows",
           u"Windows ビットマップを開く",
           u"Otwórz mapę bitową Windows",
           u"Открыть точечный рисунок Windows",
           u"打开 Windows 位图"}},
    {442, {u"Targa", u"Targa", u"Targa", u"Targa", u"Targa", u"Targa", u"Targa", u"Targa"}},
    {443, {u"Targa RGB", u"Targa RGB", u"Targa RGB", u"Targa RGB", u"Targa RGB", u"Targa RGB",
           u"Targa RGB", u"Targa RGB"}},
    {444, {u"Targa Mono",
           u"Targa Mono",
           u"Targa monocromo",
           u"Targa monochrome",
           u"Targa モノクロ",
           u"Targa monochromatyczna",
           u"Targa монохромный",
           u"Targa 单色"}},
    {445, {u"Targa RLE", u"Targa RLE", u"Targa RLE", u"Targa RLE", u"Targa RLE", u"Targa RLE",
           u"Targa RLE", u"Targa RLE"}},
    {446, {u"Uncompressed",
           u"Unkomprimiert",
           u"Sin comprimir",
           u"Non compressé",
           u"非圧縮",
           u"Bez kompresji",
           u"Без сжатия",
           u"未压缩"}},
    {447, {u"JPEG", u"JPEG", u"JPEG", u"JPEG", u"JPEG", u"JPEG", u"JPEG", u"JPEG"}},
    {448, {u"RLE (4 Bit)",
           u"RLE (4 Bit)",
           u"RLE (4 bits)",
           u"RLE (4 bits)",
           u"RLE (4 ビット)",
           u"RLE (4 bity)",
           u"RLE (4 бита)",
           u"RLE (4 位)"}},
    {449, {u"RLE (8 Bit)",
           u"RLE (8 Bit)",
           u"RLE (8 bits)",
           u"RLE (8 bits)",
           u"RLE (8 ビット)",
           u"RLE (8 bitów)",
           u"RLE (8 бит)",
           u"RLE (8 位)"}},
    {451, {u" File Format Plug-In",
           u" Dateiformat-Plug-In",
           u" – complemento de formato de archivo",
           u" – module de format de fichier",
           u" ファイル形式プラグイン",
           u" – wtyczka formatu pliku",
           u" — подключаемый модуль формата файлов",
           u" 文件格式插件"}},
    {452, {u"Corvane ", u"Corvane ", u"Corvane ", u"Corvane ", u"Corvane ", u"Corvane ",
           u"Corvane ", u"Corvane "}},
    {453, {u"OpenEXR", u"OpenEXR", u"OpenEXR", u"OpenEXR", u"OpenEXR", u"OpenEXR", u"OpenEXR",
           u"OpenEXR"}},
    {454, {u"Save As OpenEXR",
           u"Speichern als OpenEXR",
           u"Guardar como OpenEXR",
           u"Enregistrer au format OpenEXR",
           u"OpenEXR 形式で保存",
           u"Zapisz jako OpenEXR",
           u"Сохранить как OpenEXR",
           u"另存为 OpenEXR"}},
    {455, {u"*.exr", u"*.exr", u"*.exr", u"*.exr", u"*.exr", u"*.exr", u"*.exr", u"*.exr"}},
    {456, {u"Open OpenEXR",
           u"OpenEXR öffnen",
           u"Abrir OpenEXR",
           u"Ouvrir OpenEXR",
           u"OpenEXR を開く",
           u"Otwórz OpenEXR",
           u"Открыть OpenEXR",
           u"打开 OpenEXR"}},
};

// An LCID selects the table of the same LCID; failing that, the table of its primary language
// (low ten bits), so that regional variants such as 3082 (Spanish, modern sort) or 2055 (German,
// Switzerland) get their language rather than English. Chinese matches only by its simplified
// variants (2052, and 4100 Singapore), since traditional-script users are not served by simplified
// texts. Everything else falls back to English, the module's own language.
uint32_t VxLang_ColumnOf(uint32_t lcid)
{
    for (uint32_t column = 0; column < kColumnCount; ++column)
        if (kColumnLcids[column] == lcid)
            return column;
    constexpr uint32_t kChineseSingapore = 4100;
    if (lcid == kChineseSingapore)
        return kColumnChinese;
    constexpr uint32_t kPrimaryMask = 0x3FF;
    constexpr uint32_t kPrimaryChinese = 0x04;
    const uint32_t primary = lcid & kPrimaryMask;
    if (primary == kPrimaryChinese)
        return kColumnEnglish;
    for (uint32_t column = 0; column < kColumnCount; ++column)
        if ((kColumnLcids[column] & kPrimaryMask) == primary)
            return column;
    return kColumnEnglish;
}

}  // namespace

// The handle holds only the selected column. The host may switch the language from one thread
// while another looks texts up, so it is atomic; the texts themselves are constants.
struct VXLANG {
    std::atomic<uint32_t> column{kColumnEnglish};
};

HRESULT VxLang_Open(VXLANG** language, HINSTANCE, uint32_t, uint32_t)
{
    if (!language)
        return E_POINTER;
    *language = VxFault_AllocationFails() ? nullptr : new (std::nothrow) VXLANG;
    return *language ? S_OK : E_OUTOFMEMORY;
}

void VxLang_Close(VXLANG* language)
{
    delete language;
}

HRESULT VxLang_UpdateKernelLCID(VXLANG* language, uint32_t lcid, uint32_t)
{
    if (!language)
        return E_POINTER;
    language->column.store(VxLang_ColumnOf(lcid), std::memory_order_relaxed);
    return S_OK;
}

uint32_t VxLang_GetLCID(const VXLANG* language)
{
    if (!language)
        return kVxLangEnglish;
    return kColumnLcids[language->column.load(std::memory_order_relaxed)];
}

const char16_t* VxLang_LoadString(const VXLANG* language, uint32_t id)
{
    if (!language)
        return u"";
    const uint32_t column = language->column.load(std::memory_order_relaxed);
    for (const VxLangRow& row : kRows)
        if (row.id == id)
            return row.text[column];
    return u"";
}
