// The measured loops on 32-bit x86 (the Windows build), declared in
// measured_loops.h; cdecl, C names with a leading underscore. Each loop is,
// byte for byte but for the addresses it holds, the loop of
// measured_loops_x86_64.S: see there. Only i386 integer and x87
// instructions: this build runs on processors without SSE.
#include "measured_page.h"

// The x87 control word's precision (bits 8-9) and rounding (10-11) fields:
// 53-bit mantissas, rounding to nearest, as Windows starts every thread.
#define X87_PRECISION_AND_ROUNDING 0x0F00
#define X87_DOUBLE_TO_NEAREST 0x0200

// While a loop runs, the frame is found from the caller's stack pointer
// kept at the top of the loop's stack: CFA = *(%esp) + OFFSET
// (DW_CFA_def_cfa_expression: DW_OP_breg4 0, DW_OP_deref, DW_OP_plus_uconst).
#define CFA_AT_CALLERS_STACK(OFFSET) .cfi_escape 0x0f, 5, 0x74, 0, 0x06, 0x23, OFFSET

        .text

// void RunIntegerPhase(DWORD start, TickReader readTick)
        .globl  _RunIntegerPhase
        .p2align 6
_RunIntegerPhase:
        .cfi_startproc
        push    %ebx
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %ebx, 0
        push    %ebp
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %ebp, 0
        push    %esi
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %esi, 0
        push    %edi
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %edi, 0
        mov     20(%esp), %ebp          // start
        mov     24(%esp), %ebx          // readTick
        // Down to the stack's fixed offset in its page, the caller's stack
        // pointer kept there: every register but %eax is the loop's. Less
        // than a page and a line down, so into the guard page below a
        // thread's committed stack at the furthest, never past it.
        mov     %esp, %ecx
        mov     %esp, %eax
        sub     $(LOOP_STACK_AT + 16), %eax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %eax, %esp
        sub     $12, %esp
        push    %ecx
        CFA_AT_CALLERS_STACK(20)
        .p2align 6
IntegerLoop:
        mov     _MeasuredMemory+CPU_LOOPS_AT, %ecx
        add     $1, %ecx
        je      IntegerCarry
        mov     %ecx, _MeasuredMemory+CPU_LOOPS_AT
IntegerBody:
        mov     _MeasuredMemory+INT_WORK_AT, %ecx
        mov     _MeasuredMemory+INT_WORK_AT+4, %edx
        mov     _MeasuredMemory+INT_WORK_AT+8, %esi
        mov     %ecx, %edi
        add     %edx, %ecx
        imul    %edx, %edi
        add     %edx, %esi
        mov     %edi, _MeasuredMemory+INT_WORK_AT
        mov     %esi, _MeasuredMemory+INT_WORK_AT+4
        mov     %ecx, _MeasuredMemory+INT_WORK_AT+8
        call    *%ebx
        sub     %ebp, %eax
        cmp     $INT_PHASE_END, %eax
        jb      IntegerLoop
        jmp     IntegerDone
        // The carry, once in 2^32 loops: here, so that the branch to it spans
        // the same bytes on every build.
IntegerCarry:
        sub     $12, %esp               // 16-byte aligned at the call, as at the loop's
        push    $_MeasuredMemory+CPU_LOOPS_AT
        call    _CarryLoop
        add     $16, %esp
        jmp     IntegerBody
IntegerDone:
        mov     (%esp), %esp
        .cfi_def_cfa %esp, 20
        pop     %edi
        .cfi_adjust_cfa_offset -4
        .cfi_restore %edi
        pop     %esi
        .cfi_adjust_cfa_offset -4
        .cfi_restore %esi
        pop     %ebp
        .cfi_adjust_cfa_offset -4
        .cfi_restore %ebp
        pop     %ebx
        .cfi_adjust_cfa_offset -4
        .cfi_restore %ebx
        ret
        .cfi_endproc

// void RunRealPhase(DWORD start, TickReader readTick)
        .globl  _RunRealPhase
        .p2align 6
_RunRealPhase:
        .cfi_startproc
        push    %ebx
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %ebx, 0
        push    %ebp
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %ebp, 0
        push    %esi
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %esi, 0
        push    %edi
        .cfi_adjust_cfa_offset 4
        .cfi_rel_offset %edi, 0
        mov     20(%esp), %ebp
        mov     24(%esp), %ebx
        sub     $4, %esp                // the caller's x87 control word, then the loop's
        .cfi_adjust_cfa_offset 4
        fnstcw  (%esp)
        movzwl  (%esp), %eax
        and     $~X87_PRECISION_AND_ROUNDING, %eax
        or      $X87_DOUBLE_TO_NEAREST, %eax
        mov     %ax, 2(%esp)
        fldcw   2(%esp)
        mov     %esp, %ecx
        mov     %esp, %eax
        sub     $(LOOP_STACK_AT + 16), %eax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %eax, %esp
        sub     $12, %esp
        push    %ecx
        CFA_AT_CALLERS_STACK(24)
        .p2align 6
RealLoop:
        mov     _MeasuredMemory+FPU_LOOPS_AT, %ecx
        add     $1, %ecx
        je      RealCarry
        mov     %ecx, _MeasuredMemory+FPU_LOOPS_AT
RealBody:
        fldl    _MeasuredMemory+REAL_WORK_AT
        fldl    _MeasuredMemory+REAL_WORK_AT+8
        fldl    _MeasuredMemory+REAL_WORK_AT+16
        fld     %st(2)
        fmul    %st(2), %st
        fstpl   _MeasuredMemory+REAL_WORK_AT
        fadd    %st(1), %st
        fstpl   _MeasuredMemory+REAL_WORK_AT+8
        faddp   %st, %st(1)
        fstpl   _MeasuredMemory+REAL_WORK_AT+16
        call    *%ebx
        sub     %ebp, %eax
        cmp     $REAL_PHASE_END, %eax
        jb      RealLoop
        jmp     RealDone
        // The carry, once in 2^32 loops: here, so that the branch to it spans
        // the same bytes on every build.
RealCarry:
        sub     $12, %esp
        push    $_MeasuredMemory+FPU_LOOPS_AT
        call    _CarryLoop
        add     $16, %esp
        jmp     RealBody
RealDone:
        mov     (%esp), %esp
        .cfi_def_cfa %esp, 24
        fldcw   (%esp)
        add     $4, %esp
        .cfi_adjust_cfa_offset -4
        pop     %edi
        .cfi_adjust_cfa_offset -4
        .cfi_restore %edi
        pop     %esi
        .cfi_adjust_cfa_offset -4
        .cfi_restore %esi
        pop     %ebp
        .cfi_adjust_cfa_offset -4
        .cfi_restore %ebp
        pop     %ebx
        .cfi_adjust_cfa_offset -4
        .cfi_restore %ebx
        ret
        .cfi_endproc
