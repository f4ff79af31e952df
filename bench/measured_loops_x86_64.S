// The measured loops on x86-64 (the Linux build), declared in
// measured_loops.h. Each loop is, byte for byte but for the addresses it
// holds, the loop of measured_loops_x86_32.S: 32-bit operations without a
// REX prefix, the data at a 32-bit displacement (from the instruction here,
// absolute there: the same encoding), the tick read through a register that
// holds its address. So both x86 builds time a device on the same
// instructions, whatever compiled the rest.
#include <cet.h>
#include "measured_page.h"

// The x87 control word's precision (bits 8-9) and rounding (10-11) fields:
// 53-bit mantissas, rounding to nearest, as Windows starts every thread.
#define X87_PRECISION_AND_ROUNDING 0x0F00
#define X87_DOUBLE_TO_NEAREST 0x0200

        .text

// void RunIntegerPhase(DWORD start (%edi), TickReader readTick (%rsi))
        .globl  RunIntegerPhase
        .type   RunIntegerPhase, @function
        .p2align 6
RunIntegerPhase:
        .cfi_startproc
        _CET_ENDBR
        push    %rbx
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %rbx, 0
        push    %rbp
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %rbp, 0
        push    %r12
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %r12, 0
        mov     %rsp, %r12              // the caller's stack, back after the loop
        .cfi_def_cfa_register %r12
        mov     %edi, %ebp              // start
        mov     %rsi, %rbx              // readTick
        // Down to the stack's fixed offset in its page, less than a page.
        mov     %rsp, %rax
        sub     $LOOP_STACK_AT, %rax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %rax, %rsp
        .p2align 6
IntegerLoop:
        mov     MeasuredMemory+CPU_LOOPS_AT(%rip), %ecx
        add     $1, %ecx
        je      IntegerCarry
        mov     %ecx, MeasuredMemory+CPU_LOOPS_AT(%rip)
IntegerBody:
        mov     MeasuredMemory+INT_WORK_AT(%rip), %ecx
        mov     MeasuredMemory+INT_WORK_AT+4(%rip), %edx
        mov     MeasuredMemory+INT_WORK_AT+8(%rip), %esi
        mov     %ecx, %edi
        add     %edx, %ecx
        imul    %edx, %edi
        add     %edx, %esi
        mov     %edi, MeasuredMemory+INT_WORK_AT(%rip)
        mov     %esi, MeasuredMemory+INT_WORK_AT+4(%rip)
        mov     %ecx, MeasuredMemory+INT_WORK_AT+8(%rip)
        call    *%rbx
        sub     %ebp, %eax
        cmp     $INT_PHASE_END, %eax
        jb      IntegerLoop
        jmp     IntegerDone
        // The carry, once in 2^32 loops: here, so that the branch to it spans
        // the same bytes on every build.
IntegerCarry:
        lea     MeasuredMemory+CPU_LOOPS_AT(%rip), %rdi
        call    CarryLoop@PLT
        jmp     IntegerBody
IntegerDone:
        mov     %r12, %rsp
        .cfi_def_cfa_register %rsp
        pop     %r12
        .cfi_adjust_cfa_offset -8
        .cfi_restore %r12
        pop     %rbp
        .cfi_adjust_cfa_offset -8
        .cfi_restore %rbp
        pop     %rbx
        .cfi_adjust_cfa_offset -8
        .cfi_restore %rbx
        ret
        .cfi_endproc
        .size   RunIntegerPhase, . - RunIntegerPhase

// void RunRealPhase(DWORD start (%edi), TickReader readTick (%rsi))
        .globl  RunRealPhase
        .type   RunRealPhase, @function
        .p2align 6
RunRealPhase:
        .cfi_startproc
        _CET_ENDBR
        push    %rbx
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %rbx, 0
        push    %rbp
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %rbp, 0
        push    %r12
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset %r12, 0
        sub     $8, %rsp                // the caller's x87 control word, then the loop's
        .cfi_adjust_cfa_offset 8
        fnstcw  (%rsp)
        movzwl  (%rsp), %eax
        and     $~X87_PRECISION_AND_ROUNDING, %eax
        or      $X87_DOUBLE_TO_NEAREST, %eax
        mov     %ax, 2(%rsp)
        fldcw   2(%rsp)
        mov     %rsp, %r12
        .cfi_def_cfa_register %r12
        mov     %edi, %ebp
        mov     %rsi, %rbx
        mov     %rsp, %rax
        sub     $LOOP_STACK_AT, %rax
        and     $(MEASURED_PAGE_SIZE - 1), %eax
        sub     %rax, %rsp
        .p2align 6
RealLoop:
        mov     MeasuredMemory+FPU_LOOPS_AT(%rip), %ecx
        add     $1, %ecx
        je      RealCarry
        mov     %ecx, MeasuredMemory+FPU_LOOPS_AT(%rip)
RealBody:
        fldl    MeasuredMemory+REAL_WORK_AT(%rip)
        fldl    MeasuredMemory+REAL_WORK_AT+8(%rip)
        fldl    MeasuredMemory+REAL_WORK_AT+16(%rip)
        fld     %st(2)
        fmul    %st(2), %st
        fstpl   MeasuredMemory+REAL_WORK_AT(%rip)
        fadd    %st(1), %st
        fstpl   MeasuredMemory+REAL_WORK_AT+8(%rip)
        faddp   %st, %st(1)
        fstpl   MeasuredMemory+REAL_WORK_AT+16(%rip)
        call    *%rbx
        sub     %ebp, %eax
        cmp     $REAL_PHASE_END, %eax
        jb      RealLoop
        jmp     RealDone
        // The carry, once in 2^32 loops: here, so that the branch to it spans
        // the same bytes on every build.
RealCarry:
        lea     MeasuredMemory+FPU_LOOPS_AT(%rip), %rdi
        call    CarryLoop@PLT
        jmp     RealBody
RealDone:
        mov     %r12, %rsp
        .cfi_def_cfa_register %rsp
        fldcw   (%rsp)
        add     $8, %rsp
        .cfi_adjust_cfa_offset -8
        pop     %r12
        .cfi_adjust_cfa_offset -8
        .cfi_restore %r12
        pop     %rbp
        .cfi_adjust_cfa_offset -8
        .cfi_restore %rbp
        pop     %rbx
        .cfi_adjust_cfa_offset -8
        .cfi_restore %rbx
        ret
        .cfi_endproc
        .size   RunRealPhase, . - RunRealPhase

        .section .note.GNU-stack, "", @progbits
