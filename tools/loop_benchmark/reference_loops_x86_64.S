// tools/loop_benchmark's reference loops for x86-64: see reference_loops.h.
#include <cet.h>
#include "measured_page.h"
#include "reference_loops.h"

#define COUNTER ReferenceMemory+CPU_LOOPS_AT(%rip)
#define WORK(at) ReferenceMemory+at(%rip)

// As the measured loops begin and end: the x87 at 53 bits to nearest, the
// stack at its offset in its page, start in %ebp, the tick read in %rbx.
        .macro  ENTER
        _CET_ENDBR
        push    %rbx
        push    %rbp
        push    %r12
        sub     $8, %rsp
        fnstcw  (%rsp)
        movzwl  (%rsp), %eax
        and     $~0x0F00, %eax
        or      $0x0200, %eax
        mov     %ax, 2(%rsp)
        fldcw   2(%rsp)
        mov     %rsp, %r12
        mov     %edi, %ebp
        mov     %rsi, %rbx
        mov     %rsp, %rax
        sub     $LOOP_STACK_AT, %rax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %rax, %rsp
        .p2align 6
        .endm
        .macro  LEAVE
        mov     %r12, %rsp
        fldcw   (%rsp)
        add     $8, %rsp
        pop     %r12
        pop     %rbp
        pop     %rbx
        ret
        .endm

        .text
        .globl  ReferenceIntegerLoop, ReferenceRealLoop, ReferenceTickReads
        .p2align 6
ReferenceIntegerLoop:
        ENTER
1:      mov     COUNTER, %ecx
        add     $1, %ecx
        mov     %ecx, COUNTER
        mov     WORK(INT_WORK_AT), %ecx
        mov     WORK(INT_WORK_AT+4), %edx
        mov     WORK(INT_WORK_AT+8), %esi
        mov     %ecx, %edi
        add     %edx, %ecx
        imul    %edx, %edi
        add     %edx, %esi
        mov     %edi, WORK(INT_WORK_AT)
        mov     %esi, WORK(INT_WORK_AT+4)
        mov     %ecx, WORK(INT_WORK_AT+8)
        call    *%rbx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE

        .p2align 6
ReferenceRealLoop:
        ENTER
1:      mov     COUNTER, %ecx
        add     $1, %ecx
        mov     %ecx, COUNTER
        fldl    WORK(REAL_WORK_AT)
        fldl    WORK(REAL_WORK_AT+8)
        fldl    WORK(REAL_WORK_AT+16)
        fld     %st(2)
        fmul    %st(2), %st
        fstpl   WORK(REAL_WORK_AT)
        fadd    %st(1), %st
        fstpl   WORK(REAL_WORK_AT+8)
        faddp   %st, %st(1)
        fstpl   WORK(REAL_WORK_AT+16)
        call    *%rbx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE

        .p2align 6
ReferenceTickReads:
        ENTER
1:      mov     COUNTER, %ecx
        add     $1, %ecx
        mov     %ecx, COUNTER
        call    *%rbx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE

        .section .note.GNU-stack, "", @progbits
