#ifndef ZEL_ELFFORMAT_H
#define ZEL_ELFFORMAT_H

// The parts of the ELF format the search-path reader names: the system's <elf.h> where there is one,
// else the same definitions, as the System V ABI and the GNU extensions give them (the Windows
// toolchains ship no <elf.h>).

#if __has_include(<elf.h>)
#include <elf.h>
#else
#include <cstdint>

using Elf32_Half = uint16_t;
using Elf64_Half = uint16_t;
using Elf32_Word = uint32_t;
using Elf64_Word = uint32_t;
using Elf32_Sword = int32_t;
using Elf64_Sxword = int64_t;
using Elf64_Xword = uint64_t;
using Elf32_Addr = uint32_t;
using Elf64_Addr = uint64_t;
using Elf32_Off = uint32_t;
using Elf64_Off = uint64_t;
using Elf32_Section = uint16_t;
using Elf64_Section = uint16_t;

#define EI_NIDENT 16
#define EI_CLASS 4
#define EI_DATA 5
#define ELFCLASS32 1
#define ELFCLASS64 2
#define ELFDATA2LSB 1
#define ELFDATA2MSB 2
#define SHN_XINDEX 0xffff
#define SHT_SYMTAB 2
#define SHT_STRTAB 3
#define SHT_DYNAMIC 6
#define SHT_DYNSYM 11
#define SHT_GNU_LIBLIST 0x6ffffff7
#define SHT_GNU_verdef 0x6ffffffd
#define SHT_GNU_verneed 0x6ffffffe
#define PT_LOAD 1
#define PT_DYNAMIC 2
#define DT_NULL 0
#define DT_NEEDED 1
#define DT_STRTAB 5
#define DT_STRSZ 10
#define DT_SONAME 14
#define DT_RPATH 15
#define DT_RUNPATH 29
#define DT_CONFIG 0x6ffffefa
#define DT_DEPAUDIT 0x6ffffefb
#define DT_AUDIT 0x6ffffefc
#define DT_AUXILIARY 0x7ffffffd
#define DT_FILTER 0x7fffffff

struct Elf32_Ehdr {
    unsigned char e_ident[EI_NIDENT];
    Elf32_Half e_type, e_machine;
    Elf32_Word e_version;
    Elf32_Addr e_entry;
    Elf32_Off e_phoff, e_shoff;
    Elf32_Word e_flags;
    Elf32_Half e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
};
struct Elf64_Ehdr {
    unsigned char e_ident[EI_NIDENT];
    Elf64_Half e_type, e_machine;
    Elf64_Word e_version;
    Elf64_Addr e_entry;
    Elf64_Off e_phoff, e_shoff;
    Elf64_Word e_flags;
    Elf64_Half e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
};
struct Elf32_Shdr {
    Elf32_Word sh_name, sh_type, sh_flags;
    Elf32_Addr sh_addr;
    Elf32_Off sh_offset;
    Elf32_Word sh_size, sh_link, sh_info, sh_addralign, sh_entsize;
};
struct Elf64_Shdr {
    Elf64_Word sh_name, sh_type;
    Elf64_Xword sh_flags;
    Elf64_Addr sh_addr;
    Elf64_Off sh_offset;
    Elf64_Xword sh_size;
    Elf64_Word sh_link, sh_info;
    Elf64_Xword sh_addralign, sh_entsize;
};
struct Elf32_Phdr {
    Elf32_Word p_type;
    Elf32_Off p_offset;
    Elf32_Addr p_vaddr, p_paddr;
    Elf32_Word p_filesz, p_memsz, p_flags, p_align;
};
struct Elf64_Phdr {
    Elf64_Word p_type, p_flags;
    Elf64_Off p_offset;
    Elf64_Addr p_vaddr, p_paddr;
    Elf64_Xword p_filesz, p_memsz, p_align;
};
struct Elf32_Dyn {
    Elf32_Sword d_tag;
    union { Elf32_Word d_val; Elf32_Addr d_ptr; } d_un;
};
struct Elf64_Dyn {
    Elf64_Sxword d_tag;
    union { Elf64_Xword d_val; Elf64_Addr d_ptr; } d_un;
};
struct Elf32_Sym {
    Elf32_Word st_name;
    Elf32_Addr st_value;
    Elf32_Word st_size;
    unsigned char st_info, st_other;
    Elf32_Section st_shndx;
};
struct Elf64_Sym {
    Elf64_Word st_name;
    unsigned char st_info, st_other;
    Elf64_Section st_shndx;
    Elf64_Addr st_value;
    Elf64_Xword st_size;
};
struct Elf32_Lib { Elf32_Word l_name, l_time_stamp, l_checksum, l_version, l_flags; };
struct Elf64_Lib { Elf64_Word l_name, l_time_stamp, l_checksum, l_version, l_flags; };
struct Elf32_Verneed { Elf32_Half vn_version, vn_cnt; Elf32_Word vn_file, vn_aux, vn_next; };
struct Elf32_Vernaux { Elf32_Word vna_hash; Elf32_Half vna_flags, vna_other; Elf32_Word vna_name, vna_next; };
struct Elf32_Verdef { Elf32_Half vd_version, vd_flags, vd_ndx, vd_cnt; Elf32_Word vd_hash, vd_aux, vd_next; };
struct Elf32_Verdaux { Elf32_Word vda_name, vda_next; };
#endif

// Solaris' DT_USED, a string tag glibc's <elf.h> leaves out.
#ifndef DT_USED
#define DT_USED 0x7ffffffe
#endif

#endif
