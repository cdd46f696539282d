/* void GetEIP(uint32_t* address)   stdcall
 *
 * Stores its own return address, the caller's instruction after the call, through the argument.
 * A leaf that touches only the stack and the argument: eax and ecx are borrowed on the stack and
 * restored, and mov leaves the flags alone. */

#if defined(_WIN32)
#define GET_EIP _GetEIP@4
#else
#define GET_EIP GetEIP
#endif

    .text
    .globl GET_EIP
#if !defined(_WIN32)
    .type GET_EIP, @function
#endif
GET_EIP:
    pushl %eax
    pushl %ecx
    movl 12(%esp), %eax        /* the argument, above the two saved registers and the return address */
    movl 8(%esp), %ecx         /* the return address */
    movl %ecx, (%eax)
    popl %ecx
    popl %eax
    ret $4

#if !defined(_WIN32)
    .size GET_EIP, . - GET_EIP
    .section .note.GNU-stack,"",@progbits
#endif
