// Wine's fixed areas, held by the executable itself until Wine's loader takes them over:
// zero-filled, readable and writable sections placed by the link options of
// wine_reserved_layout. Linux maps nothing below 64 KiB by default, and the linker puts the
// executable's headers into the page before the lowest section: that segment begins at 64 KiB
// with the headers' page, the DOS area itself one page later.
asm(R"(
    .pushsection .wine_dos, "aw", @nobits
    .globl wine_dos_area
wine_dos_area:
    .skip 0x3FFF0000
    .popsection

    .pushsection .wine_sharedheap, "aw", @nobits
    .globl wine_sharedheap_area
wine_sharedheap_area:
    .skip 0x03000000
    .popsection
)");
