// The measured loops on 64-bit ARM (the Raspberry Pi build), declared in
// measured_loops.h: the x86 loops' steps in this processor's own
// instructions, doubles on its one floating-point unit. The data are
// addressed from one register that holds the page's address, the tick read
// through a register that holds its address.
#include "measured_page.h"

// The control-flow protection the C++ code is built with
// (-mbranch-protection=standard), kept for these functions too: a signed
// return address, whose signing instruction is also the landing pad for an
// indirect call. Hints: cores without them, as the Raspberry Pi's, run them
// as no-ops.
#if defined(__ARM_FEATURE_PAC_DEFAULT) && (__ARM_FEATURE_PAC_DEFAULT & 1)
#define SIGN_RETURN_ADDRESS hint 25 ; .cfi_negate_ra_state  // paciasp
#define CHECK_RETURN_ADDRESS hint 29 ; .cfi_negate_ra_state  // autiasp
#define PAC_PROPERTY 2
#elif defined(__ARM_FEATURE_BTI_DEFAULT) && __ARM_FEATURE_BTI_DEFAULT
#define SIGN_RETURN_ADDRESS hint 34                         // bti c
#define CHECK_RETURN_ADDRESS
#define PAC_PROPERTY 0
#else
#define SIGN_RETURN_ADDRESS
#define CHECK_RETURN_ADDRESS
#define PAC_PROPERTY 0
#endif
#if defined(__ARM_FEATURE_BTI_DEFAULT) && __ARM_FEATURE_BTI_DEFAULT
#define BTI_PROPERTY 1
#else
#define BTI_PROPERTY 0
#endif

        .text

// void RunIntegerPhase(DWORD start (w0), TickReader readTick (x1))
        .globl  RunIntegerPhase
        .type   RunIntegerPhase, %function
        .p2align 6
RunIntegerPhase:
        .cfi_startproc
        SIGN_RETURN_ADDRESS
        stp     x29, x30, [sp, #-48]!
        .cfi_def_cfa_offset 48
        .cfi_offset x29, -48
        .cfi_offset x30, -40
        mov     x29, sp                 // the caller's stack, back after the loop
        .cfi_def_cfa_register x29
        stp     x19, x20, [sp, #16]
        .cfi_offset x19, -32
        .cfi_offset x20, -24
        stp     x21, x22, [sp, #32]
        .cfi_offset x21, -16
        .cfi_offset x22, -8
        mov     w19, w0                 // start
        mov     x20, x1                 // readTick
        adrp    x21, MeasuredMemory
        add     x21, x21, :lo12:MeasuredMemory
        mov     w22, #INT_PHASE_END
        // Down to the stack's fixed offset in its page, less than a page.
        mov     x9, sp
        sub     x10, x9, #LOOP_STACK_AT
        and     x10, x10, #(MEASURED_PAGE_SIZE - 1)
        sub     sp, x9, x10
        .p2align 6
IntegerLoop:
        ldr     w0, [x21, #CPU_LOOPS_AT]
        adds    w0, w0, #1
        b.eq    IntegerCarry
        str     w0, [x21, #CPU_LOOPS_AT]
IntegerBody:
        ldr     w1, [x21, #INT_WORK_AT]
        ldr     w2, [x21, #INT_WORK_AT + 4]
        ldr     w3, [x21, #INT_WORK_AT + 8]
        mul     w4, w1, w2
        add     w3, w2, w3
        add     w1, w1, w2
        str     w4, [x21, #INT_WORK_AT]
        str     w3, [x21, #INT_WORK_AT + 4]
        str     w1, [x21, #INT_WORK_AT + 8]
        blr     x20
        sub     w0, w0, w19
        cmp     w0, w22
        b.lo    IntegerLoop
        b       IntegerDone
IntegerCarry:
        add     x0, x21, #CPU_LOOPS_AT
        bl      CarryLoop
        b       IntegerBody
IntegerDone:
        mov     sp, x29
        ldp     x21, x22, [sp, #32]
        ldp     x19, x20, [sp, #16]
        ldp     x29, x30, [sp], #48
        .cfi_def_cfa sp, 0
        CHECK_RETURN_ADDRESS
        ret
        .cfi_endproc
        .size   RunIntegerPhase, . - RunIntegerPhase

// void RunRealPhase(DWORD start (w0), TickReader readTick (x1))
        .globl  RunRealPhase
        .type   RunRealPhase, %function
        .p2align 6
RunRealPhase:
        .cfi_startproc
        SIGN_RETURN_ADDRESS
        stp     x29, x30, [sp, #-48]!
        .cfi_def_cfa_offset 48
        .cfi_offset x29, -48
        .cfi_offset x30, -40
        mov     x29, sp
        .cfi_def_cfa_register x29
        stp     x19, x20, [sp, #16]
        .cfi_offset x19, -32
        .cfi_offset x20, -24
        stp     x21, x22, [sp, #32]
        .cfi_offset x21, -16
        .cfi_offset x22, -8
        mov     w19, w0
        mov     x20, x1
        adrp    x21, MeasuredMemory
        add     x21, x21, :lo12:MeasuredMemory
        mov     w22, #REAL_PHASE_END
        mov     x9, sp
        sub     x10, x9, #LOOP_STACK_AT
        and     x10, x10, #(MEASURED_PAGE_SIZE - 1)
        sub     sp, x9, x10
        .p2align 6
RealLoop:
        ldr     w0, [x21, #FPU_LOOPS_AT]
        adds    w0, w0, #1
        b.eq    RealCarry
        str     w0, [x21, #FPU_LOOPS_AT]
RealBody:
        ldr     d0, [x21, #REAL_WORK_AT]
        ldr     d1, [x21, #REAL_WORK_AT + 8]
        ldr     d2, [x21, #REAL_WORK_AT + 16]
        fmul    d3, d0, d1
        fadd    d2, d1, d2
        fadd    d0, d0, d1
        str     d3, [x21, #REAL_WORK_AT]
        str     d2, [x21, #REAL_WORK_AT + 8]
        str     d0, [x21, #REAL_WORK_AT + 16]
        blr     x20
        sub     w0, w0, w19
        cmp     w0, w22
        b.lo    RealLoop
        b       RealDone
RealCarry:
        add     x0, x21, #FPU_LOOPS_AT
        bl      CarryLoop
        b       RealBody
RealDone:
        mov     sp, x29
        ldp     x21, x22, [sp, #32]
        ldp     x19, x20, [sp, #16]
        ldp     x29, x30, [sp], #48
        .cfi_def_cfa sp, 0
        CHECK_RETURN_ADDRESS
        ret
        .cfi_endproc
        .size   RunRealPhase, . - RunRealPhase

#if BTI_PROPERTY || PAC_PROPERTY
// Says so to the linker, which otherwise takes the protection off the
// whole program for want of it here.
        .pushsection .note.gnu.property, "a"
        .p2align 3
        .word   4, 16, 5                // name size, data size, NT_GNU_PROPERTY_TYPE_0
        .asciz  "GNU"
        .word   0xc0000000              // GNU_PROPERTY_AARCH64_FEATURE_1_AND
        .word   4
        .word   BTI_PROPERTY | PAC_PROPERTY
        .word   0
        .popsection
#endif

        .section .note.GNU-stack, "", %progbits
