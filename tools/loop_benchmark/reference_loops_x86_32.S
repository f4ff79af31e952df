// tools/loop_benchmark's reference loops for 32-bit x86: see reference_loops.h.
#include "measured_page.h"
#include "reference_loops.h"

#define COUNTER _ReferenceMemory+CPU_LOOPS_AT
#define WORK(at) _ReferenceMemory+at

// As the measured loops begin and end: the x87 at 53 bits to nearest, the
// stack at its offset in its page, start in %ebp, the tick read in %ebx,
// the caller's stack pointer at the top of the loop's stack.
        .macro  ENTER
        push    %ebx
        push    %ebp
        push    %esi
        push    %edi
        mov     20(%esp), %ebp
        mov     24(%esp), %ebx
        sub     $4, %esp
        fnstcw  (%esp)
        movzwl  (%esp), %eax
        and     $~0x0F00, %eax
        or      $0x0200, %eax
        mov     %ax, 2(%esp)
        fldcw   2(%esp)
        mov     %esp, %ecx
        mov     %esp, %eax
        sub     $(LOOP_STACK_AT + 16), %eax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %eax, %esp
        sub     $12, %esp
        push    %ecx
        .p2align 6
        .endm
        .macro  LEAVE
        mov     (%esp), %esp
        fldcw   (%esp)
        add     $4, %esp
        pop     %edi
        pop     %esi
        pop     %ebp
        pop     %ebx
        ret
        .endm

        .text
        .globl  _ReferenceIntegerLoop, _ReferenceRealLoop, _ReferenceTickReads
        .p2align 6
_ReferenceIntegerLoop:
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
        call    *%ebx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE

        .p2align 6
_ReferenceRealLoop:
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
        call    *%ebx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE

        .p2align 6
_ReferenceTickReads:
        ENTER
1:      mov     COUNTER, %ecx
        add     $1, %ecx
        mov     %ecx, COUNTER
        call    *%ebx
        sub     %ebp, %eax
        cmp     $REFERENCE_LOOP_MS, %eax
        jb      1b
        LEAVE
