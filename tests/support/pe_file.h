// A PE image read from disk (a program or DLL file), for the tests of what the shipped
// files import, export and carry.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

// A PE image read from disk, with RVAs mapped through its section table.
class PeFile {
public:
    explicit PeFile(const std::wstring& path) {
        std::ifstream in(path.c_str(), std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER)) return;
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        nt_ = static_cast<size_t>(dos->e_lfanew);
        const DWORD* signature = At<DWORD>(nt_);
        if (!signature || *signature != IMAGE_NT_SIGNATURE) return;
        file_ = At<IMAGE_FILE_HEADER>(nt_ + 4);
        if (!file_) return;
        const size_t optional = nt_ + 4 + sizeof(IMAGE_FILE_HEADER);
        const WORD* magic = At<WORD>(optional);
        if (!magic) return;
        if (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            const auto* h = At<IMAGE_OPTIONAL_HEADER64>(optional);
            if (!h) return;
            dllCharacteristics_ = h->DllCharacteristics;
            std::copy(std::begin(h->DataDirectory), std::end(h->DataDirectory), directories_);
        } else {
            const auto* h = At<IMAGE_OPTIONAL_HEADER32>(optional);
            if (!h) return;
            dllCharacteristics_ = h->DllCharacteristics;
            std::copy(std::begin(h->DataDirectory), std::end(h->DataDirectory), directories_);
        }
        sections_ = optional + file_->SizeOfOptionalHeader;
        valid_ = true;
    }

    bool valid() const { return valid_; }
    WORD machine() const { return file_->Machine; }
    WORD characteristics() const { return file_->Characteristics; }
    DWORD timeStamp() const { return file_->TimeDateStamp; }
    WORD dllCharacteristics() const { return dllCharacteristics_; }
    const IMAGE_DATA_DIRECTORY& directory(int index) const { return directories_[index]; }

    template <class T>
    const T* At(size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    // The file offset of an RVA, or 0 when no section holds it.
    size_t Offset(DWORD rva) const {
        for (WORD i = 0; i < file_->NumberOfSections; ++i) {
            const auto* s = At<IMAGE_SECTION_HEADER>(sections_ + i * sizeof(IMAGE_SECTION_HEADER));
            if (!s) return 0;
            const DWORD size = std::max(s->Misc.VirtualSize, s->SizeOfRawData);
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + size)
                return rva - s->VirtualAddress + s->PointerToRawData;
        }
        return 0;
    }

    std::string StringAt(DWORD rva) const {
        const size_t offset = Offset(rva);
        if (!offset) return "<bad rva>";
        std::string text;
        for (size_t i = offset; i < bytes_.size() && bytes_[i]; ++i) text.push_back(bytes_[i]);
        return text;
    }

private:
    std::vector<char> bytes_;
    size_t nt_ = 0;
    size_t sections_ = 0;
    const IMAGE_FILE_HEADER* file_ = nullptr;
    WORD dllCharacteristics_ = 0;
    IMAGE_DATA_DIRECTORY directories_[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    bool valid_ = false;
};

// The names of the DLLs a PE image imports, in lower case.
inline std::vector<std::string> ImportedLibraries(const PeFile& pe) {
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& imports = pe.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (size_t offset = pe.Offset(imports.VirtualAddress); imports.VirtualAddress; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* d = pe.At<IMAGE_IMPORT_DESCRIPTOR>(offset);
        if (!d || d->Name == 0) break;
        std::string name = pe.StringAt(d->Name);
        for (char& ch : name) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        names.push_back(name);
    }
    return names;
}

}  // namespace testing_support
