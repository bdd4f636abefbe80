// An audio device or renderer that stops answering must not leave the page
// waiting for good: its promise fails with a sentence once its time is up.
export function withinSeconds(promise, seconds, sentence) {
    let timer = 0;
    const late = new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(sentence)), seconds * 1000);
    });
    return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}
