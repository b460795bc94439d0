/* How setup.exe is laid out: five sections instead of ten.
   - .text: code and read-only data (both only read and run, never written);
   - .idata: the import table, then the initialised writable data. The import
     table has to stay an output section named .idata or ld leaves the import
     directory empty; the loader writes the address table, so it is writable
     anyway;
   - .bss: zero-filled data, which has no bytes in the file;
   - .rsrc, then .reloc last: the medium tool rewrites .rsrc and moves only
     .reloc, and the relocations keep the image movable (ASLR).
   There is no C runtime: no constructors, TLS or unwind tables. Unwind
   tables are discarded; anything else unexpected becomes an extra section
   that the size check would see. */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rdata.*)
  }
  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes end the import list. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    . = ALIGN(4);
    *(.data)
    *(SORT(.data$*))
    *(.data.*)
  }
  /* Zero-filled data takes no room in the file in a section of its own. */
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(.bss.*)
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /DISCARD/ :
  {
    *(.eh_frame*)
    *(.debug*)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.comment)
  }
}
