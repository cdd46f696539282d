// MD5 compression of one 64-byte block for 32-bit x86 (both the Windows and the native build).
// The compiler runs short of registers on this loop and spills; here the four chaining values,
// the block pointer and one temporary all stay in registers, and message words are added
// straight from the block.
//
//   void quenlor_md5_blocks_x86(uint32_t chain[4], const uint8_t* blocks, uint32_t count);   cdecl
//
// It takes a run of whole blocks in one call, so a large update pays one call and return, not
// one per 64 bytes.

#if defined(_WIN32)
#define SYMBOL _quenlor_md5_blocks_x86
#else
#define SYMBOL quenlor_md5_blocks_x86
#endif

    .text
    .globl SYMBOL
#if !defined(_WIN32)
    .type SYMBOL, @function
#endif

// a += F(b, c, d) + x[k] + t; a = rotl(a, s) + b, with F = d ^ (b & (c ^ d))
.macro FSTEP a, b, c, d, k, s, t
    movl (\k * 4)(%esi), %ebp
    leal \t(\a, %ebp), \a
    movl \c, %edi
    xorl \d, %edi
    andl \b, %edi
    xorl \d, %edi
    addl %edi, \a
    roll $\s, \a
    addl \b, \a
.endm

// G(b, c, d) = (b & d) | (c & ~d) = c ^ (d & (b ^ c))
.macro GSTEP a, b, c, d, k, s, t
    movl (\k * 4)(%esi), %ebp
    leal \t(\a, %ebp), \a
    movl \b, %edi
    xorl \c, %edi
    andl \d, %edi
    xorl \c, %edi
    addl %edi, \a
    roll $\s, \a
    addl \b, \a
.endm

// H(b, c, d) = b ^ c ^ d
.macro HSTEP a, b, c, d, k, s, t
    movl (\k * 4)(%esi), %ebp
    leal \t(\a, %ebp), \a
    movl \b, %edi
    xorl \c, %edi
    xorl \d, %edi
    addl %edi, \a
    roll $\s, \a
    addl \b, \a
.endm

// I(b, c, d) = c ^ (b | ~d)
.macro ISTEP a, b, c, d, k, s, t
    movl (\k * 4)(%esi), %ebp
    leal \t(\a, %ebp), \a
    movl \d, %edi
    notl %edi
    orl \b, %edi
    xorl \c, %edi
    addl %edi, \a
    roll $\s, \a
    addl \b, \a
.endm

SYMBOL:
    pushl %ebp
    pushl %edi
    pushl %esi
    pushl %ebx
    movl 24(%esp), %esi
    cmpl $0, 28(%esp)
    je 2f
    movl 20(%esp), %ebp
    movl 0(%ebp), %eax
    movl 4(%ebp), %ebx
    movl 8(%ebp), %ecx
    movl 12(%ebp), %edx
1:

    FSTEP %eax, %ebx, %ecx, %edx, 0, 7, 0xd76aa478
    FSTEP %edx, %eax, %ebx, %ecx, 1, 12, 0xe8c7b756
    FSTEP %ecx, %edx, %eax, %ebx, 2, 17, 0x242070db
    FSTEP %ebx, %ecx, %edx, %eax, 3, 22, 0xc1bdceee
    FSTEP %eax, %ebx, %ecx, %edx, 4, 7, 0xf57c0faf
    FSTEP %edx, %eax, %ebx, %ecx, 5, 12, 0x4787c62a
    FSTEP %ecx, %edx, %eax, %ebx, 6, 17, 0xa8304613
    FSTEP %ebx, %ecx, %edx, %eax, 7, 22, 0xfd469501
    FSTEP %eax, %ebx, %ecx, %edx, 8, 7, 0x698098d8
    FSTEP %edx, %eax, %ebx, %ecx, 9, 12, 0x8b44f7af
    FSTEP %ecx, %edx, %eax, %ebx, 10, 17, 0xffff5bb1
    FSTEP %ebx, %ecx, %edx, %eax, 11, 22, 0x895cd7be
    FSTEP %eax, %ebx, %ecx, %edx, 12, 7, 0x6b901122
    FSTEP %edx, %eax, %ebx, %ecx, 13, 12, 0xfd987193
    FSTEP %ecx, %edx, %eax, %ebx, 14, 17, 0xa679438e
    FSTEP %ebx, %ecx, %edx, %eax, 15, 22, 0x49b40821
    GSTEP %eax, %ebx, %ecx, %edx, 1, 5, 0xf61e2562
    GSTEP %edx, %eax, %ebx, %ecx, 6, 9, 0xc040b340
    GSTEP %ecx, %edx, %eax, %ebx, 11, 14, 0x265e5a51
    GSTEP %ebx, %ecx, %edx, %eax, 0, 20, 0xe9b6c7aa
    GSTEP %eax, %ebx, %ecx, %edx, 5, 5, 0xd62f105d
    GSTEP %edx, %eax, %ebx, %ecx, 10, 9, 0x02441453
    GSTEP %ecx, %edx, %eax, %ebx, 15, 14, 0xd8a1e681
    GSTEP %ebx, %ecx, %edx, %eax, 4, 20, 0xe7d3fbc8
    GSTEP %eax, %ebx, %ecx, %edx, 9, 5, 0x21e1cde6
    GSTEP %edx, %eax, %ebx, %ecx, 14, 9, 0xc33707d6
    GSTEP %ecx, %edx, %eax, %ebx, 3, 14, 0xf4d50d87
    GSTEP %ebx, %ecx, %edx, %eax, 8, 20, 0x455a14ed
    GSTEP %eax, %ebx, %ecx, %edx, 13, 5, 0xa9e3e905
    GSTEP %edx, %eax, %ebx, %ecx, 2, 9, 0xfcefa3f8
    GSTEP %ecx, %edx, %eax, %ebx, 7, 14, 0x676f02d9
    GSTEP %ebx, %ecx, %edx, %eax, 12, 20, 0x8d2a4c8a
    HSTEP %eax, %ebx, %ecx, %edx, 5, 4, 0xfffa3942
    HSTEP %edx, %eax, %ebx, %ecx, 8, 11, 0x8771f681
    HSTEP %ecx, %edx, %eax, %ebx, 11, 16, 0x6d9d6122
    HSTEP %ebx, %ecx, %edx, %eax, 14, 23, 0xfde5380c
    HSTEP %eax, %ebx, %ecx, %edx, 1, 4, 0xa4beea44
    HSTEP %edx, %eax, %ebx, %ecx, 4, 11, 0x4bdecfa9
    HSTEP %ecx, %edx, %eax, %ebx, 7, 16, 0xf6bb4b60
    HSTEP %ebx, %ecx, %edx, %eax, 10, 23, 0xbebfbc70
    HSTEP %eax, %ebx, %ecx, %edx, 13, 4, 0x289b7ec6
    HSTEP %edx, %eax, %ebx, %ecx, 0, 11, 0xeaa127fa
    HSTEP %ecx, %edx, %eax, %ebx, 3, 16, 0xd4ef3085
    HSTEP %ebx, %ecx, %edx, %eax, 6, 23, 0x04881d05
    HSTEP %eax, %ebx, %ecx, %edx, 9, 4, 0xd9d4d039
    HSTEP %edx, %eax, %ebx, %ecx, 12, 11, 0xe6db99e5
    HSTEP %ecx, %edx, %eax, %ebx, 15, 16, 0x1fa27cf8
    HSTEP %ebx, %ecx, %edx, %eax, 2, 23, 0xc4ac5665
    ISTEP %eax, %ebx, %ecx, %edx, 0, 6, 0xf4292244
    ISTEP %edx, %eax, %ebx, %ecx, 7, 10, 0x432aff97
    ISTEP %ecx, %edx, %eax, %ebx, 14, 15, 0xab9423a7
    ISTEP %ebx, %ecx, %edx, %eax, 5, 21, 0xfc93a039
    ISTEP %eax, %ebx, %ecx, %edx, 12, 6, 0x655b59c3
    ISTEP %edx, %eax, %ebx, %ecx, 3, 10, 0x8f0ccc92
    ISTEP %ecx, %edx, %eax, %ebx, 10, 15, 0xffeff47d
    ISTEP %ebx, %ecx, %edx, %eax, 1, 21, 0x85845dd1
    ISTEP %eax, %ebx, %ecx, %edx, 8, 6, 0x6fa87e4f
    ISTEP %edx, %eax, %ebx, %ecx, 15, 10, 0xfe2ce6e0
    ISTEP %ecx, %edx, %eax, %ebx, 6, 15, 0xa3014314
    ISTEP %ebx, %ecx, %edx, %eax, 13, 21, 0x4e0811a1
    ISTEP %eax, %ebx, %ecx, %edx, 4, 6, 0xf7537e82
    ISTEP %edx, %eax, %ebx, %ecx, 11, 10, 0xbd3af235
    ISTEP %ecx, %edx, %eax, %ebx, 2, 15, 0x2ad7d2bb
    ISTEP %ebx, %ecx, %edx, %eax, 9, 21, 0xeb86d391

    movl 20(%esp), %ebp
    addl 0(%ebp), %eax
    addl 4(%ebp), %ebx
    addl 8(%ebp), %ecx
    addl 12(%ebp), %edx
    movl %eax, 0(%ebp)
    movl %ebx, 4(%ebp)
    movl %ecx, 8(%ebp)
    movl %edx, 12(%ebp)
    addl $64, %esi
    decl 28(%esp)
    jnz 1b
2:
    popl %ebx
    popl %esi
    popl %edi
    popl %ebp
    ret

#if !defined(_WIN32)
    .size SYMBOL, . - SYMBOL
    .section .note.GNU-stack, "", @progbits
#endif
