/* Wine's fixed areas, held by the executable itself until Wine's loader takes them over:
   zero-filled, readable and writable, placed by the link options of wine_reserved_layout.
   Linux maps nothing below 64 KiB by default, and the linker puts the executable's headers
   into the page before the lowest section: the segment begins at 64 KiB with that page, the
   DOS area itself one page later. */
    .section .wine_dos, "aw", @nobits
    .globl wine_dos_area
wine_dos_area:
    .skip 0x3FFF0000

    .section .wine_sharedheap, "aw", @nobits
    .globl wine_sharedheap_area
wine_sharedheap_area:
    .skip 0x03000000

    .section .note.GNU-stack, "", @progbits
