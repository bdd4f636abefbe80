// The drawing's steps, paced into tasks: each yield to the page costs the
// drawing a wait for the browser's next turn (often a frame's), so a step
// goes on in the task it follows while it will fit in the task's budget. A
// step is expected to take as long as the last of its kind, or longer where
// it has more notes (much of a system's time is its parts' setting-up,
// whatever it holds). A kind never timed yet, or a step that would not fit,
// begins a task of its own, which a step after a wait (for the Worker) has.
//
//   const pace = new Pace(budgetMs, yieldToPage, now)
//   await pace.next("layout", notes)   before each step
//   pace.done()                        after each step, to time it

export class Pace {
    constructor(budgetMs, yieldToPage, now = () => performance.now()) {
        this.budget = budgetMs;
        this.yieldToPage = yieldToPage;
        this.now = now;
        this.last = new Map();
        this.taskBegan = now();
        // Nothing has run yet in the task begun last: a step that will not
        // fit, or whose kind was never timed, has a task of its own already.
        this.fresh = false;
        this.step = null;
    }

    // Before a step of this kind over this many notes: yields first unless
    // it is expected to end within the budget of the task under way.
    async next(kind, notes) {
        const expected = this.expected(kind, notes);
        const fits = this.now() - this.taskBegan + expected <= this.budget;
        if (!fits && !this.fresh) await this.newTask();
        this.fresh = false;
        this.step = { kind, notes, began: this.now() };
    }

    // The step begun last has ended: its time is what the next of its kind
    // expects.
    done() {
        if (!this.step) return;
        const { kind, notes, began } = this.step;
        this.last.set(kind, { took: this.now() - began, notes: Math.max(1, notes) });
        this.step = null;
    }

    // Yields to the page now, whatever the budget: what was drawn is shown.
    async newTask() {
        await this.yieldToPage();
        this.newTaskBegan();
    }

    // The drawing waited for something else and comes back in a task of
    // its own.
    newTaskBegan() {
        this.taskBegan = this.now();
        this.fresh = true;
    }

    expected(kind, notes) {
        const last = this.last.get(kind);
        if (!last) return Infinity;
        return last.took * Math.max(1, notes / last.notes);
    }
}
