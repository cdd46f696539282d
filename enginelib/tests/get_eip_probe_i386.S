/* void get_eip_probe(uint32_t* out, uint32_t* result)   caller-cleans
 *
 * Calls GetEIP(out) with every general register holding a known value and known flags, then
 * reports what the registers held after the call:
 *   result[0..6] eax, ecx, edx, ebx, esi, edi, ebp after the call
 *   result[7]    flags after the call      result[8] flags before the call
 *   result[9]    the address of the instruction right after the call
 * The stack slots are read back relative to esp, so a GetEIP that left esp wrong shows up too. */

#if defined(_WIN32)
#define PROBE _get_eip_probe
#define CALL_GET_EIP call *__imp__GetEIP@4
#else
#define PROBE get_eip_probe
#define CALL_GET_EIP call GetEIP
#endif

    .text
    .globl PROBE
PROBE:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl %ebp                  /* the frame, found again after the call */

    movl 8(%ebp), %edx          /* out */
    movl $0x11111111, %eax
    cmpl $0x22222222, %eax      /* carry and sign set, zero clear */
    pushfl
    pushl %edx                  /* GetEIP's argument; it pops it */
    movl $0x22222222, %ecx
    movl $0x33333333, %edx
    movl $0x44444444, %ebx
    movl $0x55555555, %esi
    movl $0x66666666, %edi
    movl $0x77777777, %ebp
    CALL_GET_EIP
1:
    pushfl
    pushl %ebp
    pushl %edi
    pushl %esi
    pushl %ebx
    pushl %edx
    pushl %ecx
    pushl %eax                  /* 0 eax ... 24 ebp, 28 flags after, 32 flags before, 36 frame */
    movl 36(%esp), %ebp
    movl 12(%ebp), %edi
    movl %esp, %esi
    movl $9, %ecx
    cld
    rep movsl
    call 2f
2:
    popl %eax
    leal (1b - 2b)(%eax), %eax
    movl %eax, (%edi)           /* result[9] */

    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

#if !defined(_WIN32)
    .section .note.GNU-stack,"",@progbits
#endif
