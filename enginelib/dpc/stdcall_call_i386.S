/* uint32_t gevrast_call_stdcall(const void* function, const uint32_t* args, uint32_t count)
 *
 * Calls a function that takes `count` 32-bit arguments and returns a 32-bit value in eax, with
 * the arguments given first argument first. They are copied to a 16-byte aligned block on the
 * stack, first argument at the lowest address, exactly as a compiler would push them. The
 * stack pointer is restored from the frame afterwards, so the callee may pop its arguments
 * (stdcall) or leave them (cdecl) and the caller is right either way. */

#if defined(_WIN32)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

    .text
    .globl SYMBOL(gevrast_call_stdcall)
#if !defined(_WIN32)
    .type SYMBOL(gevrast_call_stdcall), @function
#endif
SYMBOL(gevrast_call_stdcall):
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi

    movl 16(%ebp), %ecx        /* count */
    movl 12(%ebp), %esi        /* args */
    leal 0(,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp            /* aligned at the call, as the System V i386 ABI wants */
    movl %esp, %edi
    cld
    rep movsl                  /* first argument ends up at the lowest address */

    call *8(%ebp)

    leal -8(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebp
    ret

#if !defined(_WIN32)
    .size SYMBOL(gevrast_call_stdcall), . - SYMBOL(gevrast_call_stdcall)
    .section .note.GNU-stack,"",@progbits
#endif
